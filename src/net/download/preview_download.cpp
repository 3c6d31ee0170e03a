#include "net/download/preview_download.h"

#include "core/message_ids.h"
#include "net/download/background_download.h"

namespace quillbox::net {

std::optional<std::string> DownloadPreview(const std::string& url) {
    std::string body;
    std::string headers;
    std::string statusText;
    std::string contentType;
    DownloadInBackground(url, body, headers, statusText, contentType, msg::kDownloadingPreview,
                         true);
    // A server's error page is not the data being signed: showing it on the page that
    // says so would mislead the person.
    const bool success = statusText.size() == 3 && statusText[0] == '2';
    if (!success || body.empty()) {
        return std::nullopt;
    }
    return body;
}

}  // namespace quillbox::net
