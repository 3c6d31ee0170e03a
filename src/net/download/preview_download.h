// The preview of the data being signed, fetched for the certificate dialog with the
// background download and its wait dialog.
#pragma once

#include <optional>
#include <string>

namespace quillbox::net {

// The body of a successful (2xx) answer that carries at least one byte; nothing
// otherwise, so the dialog tries again the next time its preview page is shown.
std::optional<std::string> DownloadPreview(const std::string& url);

}  // namespace quillbox::net
