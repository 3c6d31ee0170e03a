// Splitting and completing the URLs a connection is opened with.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillbox::net {

enum class UrlScheme { Unknown, Http, Https, Ftp };

struct UrlParts {
    std::string scheme;  // as written, e.g. "http"
    UrlScheme schemeNumber = UrlScheme::Unknown;
    std::string host;  // brackets of an IPv6 literal kept
    int port = 0;      // the scheme's default when none is written
    std::string user;
    std::string password;
    std::string path;       // from the first "/" after the host; may be empty
    std::string extraInfo;  // "?query" and "#fragment"
};

// A URL that does not start with "http://", "https://" or "ftp://" gets "http://" in front.
std::string CompleteScheme(std::string_view url);

// nullopt when the URL has no "scheme://", no host, or a port that is not a number.
std::optional<UrlParts> CrackUrl(std::string_view url);

// The host of a URL: the text after "scheme://" (and after any "user@") up to the first "/",
// without a port. An IPv6 literal keeps its brackets.
std::string HostNameOf(std::string_view url);

// Each "%" followed by two hexadecimal digits becomes that byte; everything else stays.
std::string PercentDecode(std::string_view text);

// The text without leading and trailing blanks (header and cookie parts).
std::string_view TrimSpaces(std::string_view text);

// "file:///dir/f" or "file://localhost/dir/f" to "/dir/f" (percent-decoded); nullopt for
// another host, an empty path or a result of 260 characters or more.
std::optional<std::string> FileUrlToPath(std::string_view url);

}  // namespace quillbox::net
