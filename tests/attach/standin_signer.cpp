// Stands in for the external document signer in tests, installed as "Evermark" in a
// temporary InstallDir. It checks what the bridge promises a signer (its arguments, the
// request's three lines, a private temporary folder, nothing inherited) and answers as
// QB_STANDIN_SIGNER says:
//   area:TEXT  success with TEXT          echo  success with the PDF path it was sent
//   cancel     the person cancelled       fail:MESSAGE  failure code 5 with MESSAGE
//   raw:BYTES  BYTES as the answer        crash  killed by a signal, no answer
//   none       ends without an answer
// after QB_STANDIN_DELAY_MS milliseconds. A broken promise is answered as failure 9 with
// what was wrong, so the page sees an error where it expected an area.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::size_t Utf16Units(const std::string& utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80 ? 1 : 0;
        units += byte >= 0xF0 ? 1 : 0;  // a surrogate pair
    }
    return units;
}

// What is wrong with the call; empty when nothing is. path gets the PDF path.
std::string Problem(int argc, char** argv, std::string& path) {
    if (argc != 3 || std::string(argv[1]) != "/io2") {
        return "arguments are not /io2 and the request file";
    }
    const std::string request = argv[2];
    const std::string folder = request.substr(0, request.rfind('/'));
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
        if (Env(name) != folder) {
            return std::string(name) + " is not the request's folder";
        }
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || (info.st_mode & 0777) != 0700 ||
        info.st_uid != geteuid()) {
        return "the temporary folder is not private";
    }
    struct stat in {
    }, null{};
    if (fstat(STDIN_FILENO, &in) != 0 || stat("/dev/null", &null) != 0 ||
        in.st_rdev != null.st_rdev) {
        return "standard input is not /dev/null";
    }
    if (DIR* fds = opendir("/proc/self/fd")) {
        std::string inherited;
        while (const dirent* entry = readdir(fds)) {
            const int fd = std::atoi(entry->d_name);
            if (fd > 2 && fd != dirfd(fds)) {
                inherited += " " + std::string(entry->d_name);
            }
        }
        closedir(fds);
        if (!inherited.empty()) {
            return "inherited descriptors" + inherited;
        }
    }
    std::ifstream file(request, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    std::istringstream lines(text);
    std::string verb, count;
    if (!std::getline(lines, verb) || verb != "getarea" || !std::getline(lines, count) ||
        !std::getline(lines, path) || text != verb + "\n" + count + "\n" + path + "\n") {
        return "the request is not three lines starting with getarea";
    }
    if (count != std::to_string(Utf16Units(path))) {
        return "the length line does not count the path";
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    const std::string problem = Problem(argc, argv, path);
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::atoi(Env("QB_STANDIN_DELAY_MS").c_str())));
    const std::string mode = Env("QB_STANDIN_SIGNER");
    std::string answer;
    if (!problem.empty()) {
        answer = "9\n" + problem + "\n";
    } else if (mode.starts_with("area:")) {
        answer = "0\r\n" + mode.substr(5) + "\r\n";
    } else if (mode == "echo") {
        answer = "0\n" + path + "\n";
    } else if (mode == "cancel") {
        answer = "-2\nCancelled\n";
    } else if (mode.starts_with("fail:")) {
        answer = "5\n" + mode.substr(5) + "\n";
    } else if (mode.starts_with("raw:")) {
        answer = mode.substr(4);
    } else if (mode == "crash") {
        std::abort();
    } else {
        return 0;
    }
    std::ofstream(Env("TMPDIR") + "/output.io2", std::ios::binary) << answer;
    return 0;
}
