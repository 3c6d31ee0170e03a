// One whole sign task through ExecuteTask (download from a loopback server, PKCS #7
// extraction, XML, the certificate dialog and PIN answered by a script, the signature on a
// SoftHSM token, the response) against the sum of the same steps done with the command-line
// tools: curl for the download, openssl cms for the extraction, openssl dgst for the
// signature (with a key file of the same size, since the tools cannot reach the token).
// Prints the median of each over the rounds and their ratio (goal: the task under the sum).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "control/task_services.h"
#include "core/task_processor.h"
#include "platform/ui/scripted/scripted_user_interface.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kRounds = 15;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs a shell command quietly; false when it fails.
bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct Server {
    pid_t pid = -1;
    int port = 0;
    ~Server() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

bool StartServer(const fs::path& root, const fs::path& www, Server& server) {
    const fs::path portFile = www.parent_path() / "port";
    server.pid = fork();
    if (server.pid == 0) {
        const std::string script = (root / "tools/task-server.py").string();
        execlp("python3", "python3", script.c_str(), www.c_str(), portFile.c_str(), nullptr);
        _exit(127);
    }
    for (int i = 0; i < 100 && server.port == 0; ++i) {
        usleep(100000);
        const std::string text = ReadAll(portFile);
        if (!text.empty()) {
            server.port = std::atoi(text.c_str());
        }
    }
    return server.port > 0;
}

}  // namespace

int main() {
    const fs::path root = QUILLBOX_SOURCE_DIR;
    const fs::path work =
        fs::temp_directory_path() / ("quillbox-sign-bench-" + std::to_string(getpid()));
    const fs::path token = fs::path(QUILLBOX_BINARY_DIR) / "bench-token";
    const fs::path www = work / "www";
    fs::create_directories(www);

    if (!Shell((root / "demo/make-demo-token.sh").string() + " " + token.string())) {
        std::fprintf(stderr, "sign_task_bench: the demo token could not be made\n");
        return 1;
    }
    setenv("SOFTHSM2_CONF", (token / "softhsm2.conf").c_str(), 1);
    setenv("QUILLBOX_PKCS11_MODULE", "/usr/lib/softhsm/libsofthsm2.so", 1);
    setenv("TMP", work.c_str(), 1);

    Server server;
    if (!StartServer(root, www, server)) {
        std::fprintf(stderr, "sign_task_bench: the task server did not start\n");
        return 1;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port) + "/task.p7";

    // The task signs the demo form; the same bytes go to openssl dgst.
    const fs::path data = root / "demo/form-data.txt";
    std::string task = ReadAll(root / "demo/sign-task.xml");
    const std::string encoded = [&] {
        std::system(("base64 -w0 " + data.string() + " > " + (work / "data.b64").string()).c_str());
        return ReadAll(work / "data.b64");
    }();
    task.replace(task.find("@DATA@"), 6, encoded);
    // No preview: the person goes straight to the list.
    task.replace(task.find("@PREVIEW@"), 9, "");
    WriteAll(work / "task.xml", task);
    if (!Shell((root / "tools/make-task-document").string() + " " + (work / "task.xml").string() +
               " " + (www / "task.p7").string()) ||
        !Shell("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " +
               (work / "key.pem").string())) {
        std::fprintf(stderr, "sign_task_bench: preparing the task failed\n");
        return 1;
    }
    const fs::path answers = work / "answers.json";
    WriteAll(answers,
             R"([{"dialog": "certificates", "actions": [{"select": {"name": "Jana Nováková"}},)"
             R"( {"confirm": "button"}]}, {"dialog": "pin", "answer": "ok", "pin": "1234"}])");

    std::vector<double> whole;
    std::vector<double> tools;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        std::string response;
        {
            quillbox::ui::ScriptedUserInterface ui(answers, work / "transcript.jsonl");
            quillbox::ui::SetUserInterface(&ui);
            quillbox::TaskProcessor processor(quillbox::MakeTaskServices());
            processor.ExecuteTask(url, response);
            quillbox::ui::SetUserInterface(nullptr);
        }
        whole.push_back(Seconds(start));
        if (response.find("<SignatureValue>") == std::string::npos) {
            std::fprintf(stderr, "sign_task_bench: the task did not sign:\n%s\n%s\n",
                         response.c_str(), ReadAll(work / "transcript.jsonl").c_str());
            return 1;
        }

        const auto toolsStart = Clock::now();
        const bool ok = Shell("curl -sf -o " + (work / "t.p7").string() + " " + url) &&
                        Shell("openssl cms -verify -noverify -binary -inform DER -in " +
                              (work / "t.p7").string() + " -out " + (work / "t.xml").string()) &&
                        Shell("openssl dgst -sha256 -sign " + (work / "key.pem").string() +
                              " -out " + (work / "t.sig").string() + " " + data.string());
        tools.push_back(Seconds(toolsStart));
        if (!ok) {
            std::fprintf(stderr, "sign_task_bench: a command-line tool failed\n");
            return 1;
        }
    }
    fs::remove_all(work);

    const double taskSeconds = Median(whole);
    const double toolSeconds = Median(tools);
    std::printf("sign task through ExecuteTask: %.1f ms (median of %d)\n", taskSeconds * 1e3,
                kRounds);
    std::printf("curl + openssl cms + openssl dgst: %.1f ms (median of %d)\n", toolSeconds * 1e3,
                kRounds);
    std::printf("task / tools = %.2f (goal: below 1)\n", taskSeconds / toolSeconds);
    return 0;
}
