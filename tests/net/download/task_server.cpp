#include "task_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "test_support.h"

namespace quillbox::test {

TaskServer::TaskServer(const std::filesystem::path& root, const TaskServerOptions& options)
    : tls_(!options.tlsCert.empty()) {
    const std::filesystem::path portFile = root / ".port";
    std::vector<std::string> args = {"python3",
                                     std::string(QUILLBOX_SOURCE_DIR) + "/tools/task-server.py"};
    if (tls_) {
        args.insert(args.end(), {"--tls", options.tlsCert.string(), options.tlsKey.string(),
                                 "--handshake-delay", std::to_string(options.handshakeDelayMs)});
    }
    args.insert(args.end(), {root.string(), portFile.string()});
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(portFile)) {
            port_ = std::stoi(ReadFile(portFile));
            return;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("the task server ended at once");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("the task server did not start");
}

TaskServer::~TaskServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string TaskServer::Url(const std::string& pathAndQuery) const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + "/" +
           pathAndQuery;
}

void MakeTaskDocument(const std::string& content, const std::filesystem::path& out) {
    const std::filesystem::path in = out.string() + ".content";
    WriteFile(in, content);
    const std::string command = std::string(QUILLBOX_SOURCE_DIR) + "/tools/make-task-document " +
                                in.string() + " " + out.string();
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("make-task-document failed: " + command);
    }
    std::filesystem::remove(in);
}

}  // namespace quillbox::test
