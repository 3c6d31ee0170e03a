// The project's task server (tools/task-server.py) on 127.0.0.1 and a free port, serving
// a folder; stopped by its process id when the object goes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace quillbox::test {

class TaskServer {
  public:
    // Throws std::runtime_error when the server does not start within 20 seconds.
    explicit TaskServer(const std::filesystem::path& root);
    ~TaskServer();
    TaskServer(const TaskServer&) = delete;
    TaskServer& operator=(const TaskServer&) = delete;

    // "http://127.0.0.1:PORT/" + pathAndQuery.
    std::string Url(const std::string& pathAndQuery) const;

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// Wraps content into a signed task document with tools/make-task-document.
void MakeTaskDocument(const std::string& content, const std::filesystem::path& out);

}  // namespace quillbox::test
