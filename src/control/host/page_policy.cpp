#include "control/host/page_policy.h"

#include <algorithm>
#include <cctype>

#include "core/registry.h"
#include "platform/settings/settings_store.h"
#include "platform/system/ascii_case.h"

namespace quillbox::host {

namespace {

struct Origin {
    std::string scheme;  // lower case
    std::string host;    // lower case, brackets of an IPv6 literal kept
    std::string port;    // as written; empty for the scheme's default
};

bool IsLocalHost(const std::string& host) {
    return host == "localhost" || host == "127.0.0.1";
}

// "scheme://authority" and, for URLs, what follows it. Nothing when the text is not of
// that form or holds characters a URL cannot (blanks, controls, backslashes), which
// clients might read in different ways.
std::optional<Origin> ParseStart(std::string_view url, bool originOnly) {
    for (const char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || c == '\\') {
            return std::nullopt;
        }
    }
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    Origin origin;
    origin.scheme = LowerAscii(url.substr(0, colon));
    std::string_view rest = url.substr(colon + 3);
    const std::size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    if (originOnly && end != std::string_view::npos && rest.substr(end) != "/") {
        return std::nullopt;
    }
    // A user part would make "https://localhost@elsewhere" look local.
    if (authority.find('@') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view host = authority;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = authority.substr(0, close + 1);
        authority.remove_prefix(close + 1);
    } else {
        host = authority.substr(0, authority.find(':'));
        authority.remove_prefix(host.size());
    }
    if (host.empty()) {
        return std::nullopt;
    }
    if (!authority.empty()) {
        if (authority.front() != ':' || authority.size() == 1 ||
            !std::all_of(authority.begin() + 1, authority.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; })) {
            return std::nullopt;
        }
        origin.port = std::string(authority.substr(1));
    }
    origin.host = LowerAscii(host);
    if ((origin.scheme == "https" && origin.port == "443") ||
        (origin.scheme == "http" && origin.port == "80")) {
        origin.port.clear();
    }
    return origin;
}

bool IsPage(const Origin& origin) {
    return origin.scheme == "https" || (origin.scheme == "http" && IsLocalHost(origin.host));
}

bool Matches(const Origin& origin, std::string_view entry) {
    const std::string wanted = LowerAscii(entry);
    if (wanted.rfind("*.", 0) == 0) {
        const std::string suffix = wanted.substr(1);  // ".example.cz"
        return origin.scheme == "https" && origin.host.size() > suffix.size() &&
               origin.host.compare(origin.host.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    if (wanted.find("://") == std::string::npos) {
        return origin.scheme == "https" && origin.port.empty() && origin.host == wanted;
    }
    const std::optional<Origin> listed = ParseStart(wanted, true);
    return listed && listed->scheme == origin.scheme && listed->host == origin.host &&
           listed->port == origin.port;
}

}  // namespace

std::vector<std::string> AllowedOriginsSetting() {
    std::vector<std::string> entries;
    const std::optional<settings::Value> value = settings::CurrentSettingsStore().Read(
        settings::Root::LocalMachine, kPluginSettingsKey, "AllowedOrigins");
    const std::string* text = value ? std::get_if<std::string>(&*value) : nullptr;
    if (text == nullptr) {
        return entries;
    }
    std::string entry;
    for (const char c : *text + " ") {
        if (c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\n' || c == '\r') {
            if (!entry.empty()) {
                entries.push_back(std::move(entry));
            }
            entry.clear();
        } else {
            entry += c;
        }
    }
    return entries;
}

bool OriginAllowed(std::string_view origin, const std::vector<std::string>& allowed) {
    const std::optional<Origin> page = ParseStart(origin, true);
    if (!page || !IsPage(*page)) {
        return false;
    }
    return allowed.empty() || std::any_of(allowed.begin(), allowed.end(),
                                          [&](const auto& entry) { return Matches(*page, entry); });
}

std::string OriginForPerson(std::string_view origin) {
    const std::optional<Origin> page = ParseStart(origin, true);
    if (!page) {
        return std::string(origin);
    }
    if (page->scheme == "https" && page->port.empty()) {
        return page->host;
    }
    return page->scheme + "://" + page->host + (page->port.empty() ? "" : ":" + page->port);
}

std::optional<std::string> RefusedPageUrl(std::string_view url) {
    const std::optional<Origin> target = ParseStart(url, false);
    if (!target || !IsPage(*target)) {
        return "a page may run only https: tasks (http: on localhost and 127.0.0.1), not \"" +
               std::string(url.substr(0, 200)) + "\"";
    }
    return std::nullopt;
}

}  // namespace quillbox::host
