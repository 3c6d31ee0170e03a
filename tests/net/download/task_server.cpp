#include "task_server.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "net/servers/test_servers.h"
#include "test_support.h"

namespace quillbox::test {

TaskServer::TaskServer(const std::filesystem::path& root, const TaskServerOptions& options)
    : tls_(!options.tlsCert.empty()) {
    const std::filesystem::path portFile = root / ".port";
    std::vector<std::string> args = {"python3",
                                     std::string(QUILLBOX_SOURCE_DIR) + "/tools/task-server.py"};
    if (tls_)
        args.insert(args.end(), {"--tls", options.tlsCert.string(), options.tlsKey.string(),
                                 "--handshake-delay", std::to_string(options.handshakeDelayMs)});
    args.insert(args.end(), {root.string(), portFile.string()});
    process_ = std::make_unique<ChildProcess>(args, "/dev/null");
    for (int i = 0; i < 1000 && process_->Running(); ++i) {
        if (std::filesystem::exists(portFile)) {
            port_ = std::stoi(ReadFile(portFile));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("the task server did not start");
}

TaskServer::~TaskServer() = default;

std::string TaskServer::Url(const std::string& pathAndQuery) const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + "/" +
           pathAndQuery;
}

void MakeTaskDocument(const std::string& content, const std::filesystem::path& out) {
    const std::filesystem::path in = out.string() + ".content";
    WriteFile(in, content);
    const std::string command = std::string(QUILLBOX_SOURCE_DIR) + "/tools/make-task-document " +
                                in.string() + " " + out.string();
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("make-task-document failed: " + command);
    std::filesystem::remove(in);
}

}  // namespace quillbox::test
