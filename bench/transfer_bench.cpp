// Throughput of IntConn over loopback against the curl command-line tool on the same nginx and
// the same data: a 256 MiB download and a 64 MiB upload. Prints both ratios (goal: at least
// 0.8x curl each way) and the download's peak memory against the body size (goal: at most 1.5x).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "net/servers/test_servers.h"
#include "net/transfer/int_conn.h"

namespace {

using namespace quillbox;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kDownloadSize = std::size_t{256} << 20;
constexpr std::size_t kUploadSize = std::size_t{64} << 20;
constexpr int kRounds = 3;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Resets the peak resident size so the next reading covers only what follows.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double RunCurl(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double elapsed = Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "curl failed (status %d)\n", status);
        return -1;
    }
    return elapsed;
}

void WritePattern(const std::filesystem::path& path, std::size_t size) {
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 31 % 251);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t done = 0; done < size; done += block.size())
        out.write(block.data(), block.size());
}

}  // namespace

int main() {
    test::NginxTlsServer nginx;
    if (!nginx.started()) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    const auto bigFile = nginx.docroot() / "big.bin";
    WritePattern(bigFile, kDownloadSize);
    const auto upFile = nginx.docroot() / "up.bin";
    WritePattern(upFile, kUploadSize);
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.plainPort()) + "/";
    const std::string downloadUrl = base + "big.bin";
    const std::string uploadUrl = base + "upload";

    // Download: IntConn's one-shot download against curl writing to /dev/null.
    double ours = 1e9, theirs = 1e9;
    double peakRatio = 0;
    for (int round = 0; round < kRounds; ++round) {
        {
            std::vector<std::uint8_t> body;
            std::size_t length = 0;
            std::string status;
            net::ResponseOut out{&body, &length, nullptr, &status, nullptr};
            const long baseline = StatusKb("VmRSS:");
            ResetPeak();
            const auto start = Clock::now();
            const auto result =
                net::DownloadUrl(nullptr, downloadUrl.c_str(), nullptr, nullptr, nullptr, nullptr,
                                 nullptr, out, 2210, nullptr, nullptr);
            const double elapsed = Seconds(start);
            const long peak = StatusKb("VmHWM:");
            if (result != net::ResultCode::Success || length != kDownloadSize) {
                std::fprintf(stderr, "download failed: result %d, %zu bytes, status %s\n",
                             static_cast<int>(result), length, status.c_str());
                return 1;
            }
            ours = std::min(ours, elapsed);
            peakRatio = std::max(peakRatio, (peak - baseline) * 1024.0 / kDownloadSize);
        }
        const double c = RunCurl({"curl", "-s", "-o", "/dev/null", downloadUrl});
        if (c < 0)
            return 1;
        theirs = std::min(theirs, c);
    }
    const double mib = static_cast<double>(kDownloadSize) / (1 << 20);
    std::printf(
        "download 256 MiB: IntConn %.0f MiB/s, curl %.0f MiB/s, ratio %.2fx (goal >= 0.8)\n",
        mib / ours, mib / theirs, theirs / ours);
    std::printf("download peak memory: %.2fx the body (goal <= 1.5)\n", peakRatio);

    // Upload: POST of the same 64 MiB from memory, against curl posting the file.
    std::vector<std::uint8_t> data(kUploadSize);
    {
        std::ifstream in(upFile, std::ios::binary);
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    double upOurs = 1e9, upTheirs = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        {
            const auto start = Clock::now();
            net::IntConn conn;
            if (!conn.Open(nullptr, uploadUrl.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                           200, nullptr, nullptr)) {
                std::fprintf(stderr, "upload open failed\n");
                return 1;
            }
            const auto sent = conn.SendData(data.data(), data.size(), nullptr, nullptr);
            std::vector<std::uint8_t> body;
            std::size_t length = 0;
            const auto read =
                conn.ReadResponse({&body, &length, nullptr, nullptr, nullptr}, nullptr);
            const double elapsed = Seconds(start);
            if (sent != net::ResultCode::Success || read != net::ResultCode::Success) {
                std::fprintf(stderr, "upload failed\n");
                return 1;
            }
            upOurs = std::min(upOurs, elapsed);
        }
        // Streams the file (-T) rather than loading it first, curl's fastest way to send it.
        const double c = RunCurl({"curl", "-s", "-o", "/dev/null", "-H", "Expect:", "-X", "POST",
                                  "-T", upFile.string(), uploadUrl});
        if (c < 0)
            return 1;
        upTheirs = std::min(upTheirs, c);
    }
    const double upMib = static_cast<double>(kUploadSize) / (1 << 20);
    std::printf("upload 64 MiB: IntConn %.0f MiB/s, curl %.0f MiB/s, ratio %.2fx (goal >= 0.8)\n",
                upMib / upOurs, upMib / upTheirs, upTheirs / upOurs);
    return 0;
}
