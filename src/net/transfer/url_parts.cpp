#include "net/transfer/url_parts.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

constexpr std::size_t kMaxPath = 260;

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text between "scheme://" and the first "/", "?" or "#".
std::string_view Authority(std::string_view url) {
    const auto start = url.find("://");
    if (start == std::string_view::npos)
        return {};
    std::string_view rest = url.substr(start + 3);
    return rest.substr(0, rest.find_first_of("/?#"));
}

// Where the port separator is: the first ":" after which no "]" follows.
std::size_t PortColon(std::string_view hostPort) {
    const auto bracket = hostPort.rfind(']');
    return hostPort.find(':', bracket == std::string_view::npos ? 0 : bracket);
}

}  // namespace

std::string CompleteScheme(std::string_view url) {
    for (std::string_view scheme : {"http://", "https://", "ftp://"})
        if (StartsWithNoCase(url, scheme))
            return std::string(url);
    return "http://" + std::string(url);
}

std::optional<UrlParts> CrackUrl(std::string_view url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0)
        return std::nullopt;
    UrlParts parts;
    parts.scheme = std::string(url.substr(0, schemeEnd));
    const std::string scheme = LowerAscii(parts.scheme);
    if (scheme == "http") {
        parts.schemeNumber = UrlScheme::Http;
        parts.port = 80;
    } else if (scheme == "https") {
        parts.schemeNumber = UrlScheme::Https;
        parts.port = 443;
    } else if (scheme == "ftp") {
        parts.schemeNumber = UrlScheme::Ftp;
        parts.port = 21;
    }

    std::string_view authority = Authority(url);
    std::string_view rest = url.substr(schemeEnd + 3 + authority.size());
    const auto at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const auto colon = userInfo.find(':');
        parts.user = std::string(userInfo.substr(0, colon));
        if (colon != std::string_view::npos)
            parts.password = std::string(userInfo.substr(colon + 1));
    }
    const auto colon = PortColon(authority);
    parts.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
        std::string_view port = authority.substr(colon + 1);
        if (!port.empty()) {
            int value = 0;
            auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
            if (ec != std::errc() || end != port.data() + port.size() || value < 0 || value > 65535)
                return std::nullopt;
            parts.port = value;
        }
    }
    if (parts.host.empty())
        return std::nullopt;
    const auto extra = rest.find_first_of("?#");
    parts.path = std::string(rest.substr(0, extra));
    if (extra != std::string_view::npos)
        parts.extraInfo = std::string(rest.substr(extra));
    return parts;
}

std::string HostNameOf(std::string_view url) {
    std::string_view authority = Authority(url);
    const auto at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority = authority.substr(at + 1);
    return std::string(authority.substr(0, PortColon(authority)));
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::optional<std::string> FileUrlToPath(std::string_view url) {
    if (!StartsWithNoCase(url, "file://"))
        return std::nullopt;
    std::string_view rest = url.substr(7);
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string host = LowerAscii(rest.substr(0, slash));
    if (!host.empty() && host != "localhost")
        return std::nullopt;
    std::string_view path = rest.substr(slash);
    path = path.substr(0, path.find_first_of("?#"));
    if (path.size() <= 1 || path.size() >= kMaxPath)
        return std::nullopt;
    return PercentDecode(path);
}

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

}  // namespace quillbox::net
