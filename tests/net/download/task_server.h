// The project's task server (tools/task-server.py) on 127.0.0.1 and a free port, serving
// a folder over HTTP or HTTPS; stopped by its process id when the object goes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace quillbox::test {

class ChildProcess;

struct TaskServerOptions {
    // Both set: HTTPS with this certificate and key (PEM).
    std::filesystem::path tlsCert, tlsKey;
    // Milliseconds between accepting a connection and the TLS handshake.
    int handshakeDelayMs = 0;
};

class TaskServer {
  public:
    // Throws std::runtime_error when the server does not start within 20 seconds.
    explicit TaskServer(const std::filesystem::path& root, const TaskServerOptions& options = {});
    ~TaskServer();
    TaskServer(const TaskServer&) = delete;
    TaskServer& operator=(const TaskServer&) = delete;

    // "http://127.0.0.1:PORT/" + pathAndQuery, "https://" with TLS.
    std::string Url(const std::string& pathAndQuery) const;

  private:
    bool tls_ = false;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

// Wraps content into a signed task document with tools/make-task-document.
void MakeTaskDocument(const std::string& content, const std::filesystem::path& out);

}  // namespace quillbox::test
