#include "net/download/url_file_get_file_binary.h"

#include <exception>

#include "core/globals.h"
#include "net/download/download_signal.h"

namespace quillbox::net {

ResultCode DownloadWithEngine(const std::string& url, const ResponseOut& out) {
    // No owner window, empty credentials, no proxy of our own, no status callback: the
    // engine's reports go to the log.
    return DownloadUrl(nullptr, url.c_str(), "", "", nullptr, nullptr, nullptr, out,
                       transfer_flags::kDownload, nullptr, nullptr);
}

CUrlFile_GetFileBinary::CUrlFile_GetFileBinary(std::string url, std::vector<std::uint8_t>& body,
                                               std::string& headers, std::string& statusText,
                                               std::string& contentType, DownloadFunction download)
    : url_(std::move(url)),
      body_(body),
      headers_(headers),
      statusText_(statusText),
      contentType_(contentType),
      download_(std::move(download)) {}

CUrlFile_GetFileBinary::~CUrlFile_GetFileBinary() {
    // Run uses the members: the thread must end before they go.
    Join();
}

std::int32_t CUrlFile_GetFileBinary::Run(std::uint32_t) {
    const ResponseOut out{&body_, &bodyLength_, &headers_, &statusText_, &contentType_};
    try {
        result_ = download_(url_, out);
    } catch (const std::exception& e) {
        // Nothing may escape a thread; the caller sees an empty, failed download.
        QB_LOG(LogLevel::File, nullptr, "Download failed: %s", e.what());
        result_ = ResultCode::Failed;
        bodyLength_ = 0;
    }
    if (bodyLength_ > body_.size()) {
        bodyLength_ = 0;
    }
    if (result_ != ResultCode::Success && bodyLength_ == 0) {
        body_.clear();
    }
    DownloadSignal::Get().SetDone();
    return static_cast<std::int32_t>(result_);
}

}  // namespace quillbox::net
