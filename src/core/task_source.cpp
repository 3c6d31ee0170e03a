#include "core/task_source.h"

#include "core/globals.h"

namespace quillbox {

DownloadedDocument NoTaskDownloader::Download(const std::string& url, int, bool) {
    QB_LOG(LogLevel::File, nullptr, "No network transport in this build: %s", url.c_str());
    return {};
}

std::optional<std::string> NoSignedMessageReader::Content(std::string_view) {
    return std::nullopt;
}

}  // namespace quillbox
