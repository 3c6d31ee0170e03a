#include "net/send/page_headers.h"

#include <algorithm>
#include <vector>

#include "net/transfer/url_parts.h"
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view NameOf(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view{} : line.substr(0, colon);
}

}  // namespace

std::string CleanPageHeaders(std::string_view text) {
    static constexpr std::string_view kTransportOwns[] = {"Content-Length", "Transfer-Encoding",
                                                          "Host", "Connection"};
    std::string clean;
    for (const std::string_view line : Lines(text)) {
        const std::string_view name = NameOf(line);
        if (name.empty() || !std::all_of(name.begin(), name.end(), IsTokenChar))
            continue;
        const std::string_view value = line.substr(name.size() + 1);
        const bool controls = std::any_of(value.begin(), value.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u < 0x20 && c != '\t') || u == 0x7F;
        });
        if (controls)
            continue;
        if (std::any_of(std::begin(kTransportOwns), std::end(kTransportOwns),
                        [&](std::string_view owned) { return EqualsNoCase(owned, name); }))
            continue;
        if (!clean.empty())
            clean += "\r\n";
        clean.append(line);
    }
    return clean;
}

std::string MaskedHeaders(std::string_view text) {
    static constexpr std::string_view kSecret[] = {"Authorization", "Proxy-Authorization",
                                                   "Cookie"};
    std::string masked;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end + (end == std::string_view::npos ? 0 : 1));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const std::string name(TrimSpaces(NameOf(line)));
        const bool secret = std::any_of(std::begin(kSecret), std::end(kSecret),
                                        [&](std::string_view s) { return EqualsNoCase(s, name); });
        if (!secret) {
            masked.append(line);
            continue;
        }
        masked.append(line.substr(0, line.find(':') + 1)).append(" ***");
        if (line.back() == '\n')
            masked.append(line.size() > 1 && line[line.size() - 2] == '\r' ? "\r\n" : "\n");
    }
    return masked;
}

std::string MaskedUrl(std::string_view url) {
    const auto start = url.find("://");
    if (start == std::string_view::npos)
        return std::string(url);
    const std::size_t hostStart = start + 3;
    const auto authorityEnd = url.find_first_of("/?#", hostStart);
    const std::string_view authority = url.substr(hostStart, authorityEnd - hostStart);
    const auto at = authority.rfind('@');
    if (at == std::string_view::npos)
        return std::string(url);
    std::string masked(url.substr(0, hostStart));
    masked += "***@";
    masked += url.substr(hostStart + at + 1);
    return masked;
}

}  // namespace quillbox::net
