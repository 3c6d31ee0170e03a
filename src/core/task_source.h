// How the pipeline gets a task document from its URL: the download, and reading the
// task text out of the signed message that carries it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillbox {

struct DownloadedDocument {
    std::string body;
    std::string headers;     // the response header text
    std::string statusText;  // "200 OK"
    std::string contentType;
};

class TaskDownloader {
  public:
    virtual ~TaskDownloader() = default;
    // Fetches url, showing the wait dialog with message waitMessageId when allowed.
    virtual DownloadedDocument Download(const std::string& url, int waitMessageId,
                                        bool showWaitDialog) = 0;
};

class SignedMessageReader {
  public:
    virtual ~SignedMessageReader() = default;
    // The encapsulated content of a PKCS #7 signed-data message; nullopt when the bytes
    // are not one.
    virtual std::optional<std::string> Content(std::string_view message) = 0;
};

// Stand-ins for builds without a network transport: every download fails (the
// pipeline then reports the failed download to the person) and no message is read.
class NoTaskDownloader final : public TaskDownloader {
  public:
    DownloadedDocument Download(const std::string& url, int waitMessageId,
                                bool showWaitDialog) override;
};

class NoSignedMessageReader final : public SignedMessageReader {
  public:
    std::optional<std::string> Content(std::string_view message) override;
};

}  // namespace quillbox
