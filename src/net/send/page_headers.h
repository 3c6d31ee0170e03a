// The header lines a page hands over for its send, and how headers and URLs are written to
// the log without the secrets in them.
#pragma once

#include <string>
#include <string_view>

namespace quillbox::net {

// The page's lines that may go on the request, joined by CR LF: only well-formed
// "Name: value" lines (a token for the name, no control characters in the value), and none
// of the headers the transport itself writes (Content-Length, Transfer-Encoding, Host,
// Connection). CR LF and a lone LF both end a line.
std::string CleanPageHeaders(std::string_view text);

// For the log: the values of Authorization, Proxy-Authorization and Cookie lines replaced
// by "***".
std::string MaskedHeaders(std::string_view text);

// For the log: a URL's user information ("user:password@") replaced by "***@".
std::string MaskedUrl(std::string_view url);

}  // namespace quillbox::net
