// The download entry: fetches a URL on a worker thread while the calling thread waits and
// keeps the wait dialog alive. There is no cancellation; the wait ends with the transfer.
#pragma once

#include <cstddef>
#include <string>

#include "net/download/url_file_get_file_binary.h"

namespace quillbox::net {

// Fills body, the raw headers, the status text and the content type as far as the
// transfer got (a failed download leaves the body empty) and returns the body length.
// messageId is the wait dialog's text; with showWaitDialog false no window ever shows.
// Downloads of the whole process run one after another.
std::size_t DownloadInBackground(const std::string& url, std::string& body, std::string& headers,
                                 std::string& statusText, std::string& contentType, int messageId,
                                 bool showWaitDialog);

// The same with another way of fetching, for tests of the waiting.
std::size_t DownloadInBackground(const std::string& url, std::string& body, std::string& headers,
                                 std::string& statusText, std::string& contentType, int messageId,
                                 bool showWaitDialog, const DownloadFunction& download);

}  // namespace quillbox::net
