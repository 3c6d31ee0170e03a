// libcurl's process-wide state: global initialisation, the cookie share every handle joins,
// and the trust anchors chosen for the process.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace quillbox::http::detail {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

// Initialises libcurl once and returns the cookie share (never null).
CURLSH* CookieShare();

// A new easy handle with the cookie engine on and joined to the share.
EasyHandle NewEasyHandle();

// Empty when the system's anchors apply.
std::string TrustAnchorsFile();

}  // namespace quillbox::http::detail
