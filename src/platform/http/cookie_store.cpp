// The shared cookie store, read and written through short-lived handles joined to the share.
#include <curl/curl.h>

#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/http/curl_share.h"
#include "platform/http/transfer.h"
#include "platform/system/ascii_case.h"

namespace quillbox::http {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlFree {
    void operator()(char* text) const { curl_free(text); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct UrlParts {
    std::string scheme, host, path;
};

bool SplitUrl(const std::string& url, UrlParts& parts) {
    std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    auto get = [&](CURLUPart part, std::string& out) {
        char* raw = nullptr;
        if (curl_url_get(handle.get(), part, &raw, 0) != CURLUE_OK)
            return false;
        std::unique_ptr<char, CurlFree> owned(raw);
        out = raw;
        return true;
    };
    if (!get(CURLUPART_SCHEME, parts.scheme) || !get(CURLUPART_HOST, parts.host))
        return false;
    if (!get(CURLUPART_PATH, parts.path) || parts.path.empty())
        parts.path = "/";
    parts.host = LowerAscii(parts.host);
    return !parts.host.empty();
}

bool DomainMatches(const std::string& host, std::string domain, bool tailMatch) {
    if (!domain.empty() && domain.front() == '.')
        domain.erase(0, 1);
    domain = LowerAscii(domain);
    if (host == domain)
        return true;
    return tailMatch && host.size() > domain.size() &&
           host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
    if (cookiePath.empty() || cookiePath == "/")
        return true;
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0)
        return false;
    return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
           requestPath[cookiePath.size()] == '/';
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back();
    return fields;
}

}  // namespace

std::string GetCookies(const std::string& url, bool includeHttpOnly) {
    UrlParts parts;
    if (!SplitUrl(url, parts))
        return {};
    auto easy = detail::NewEasyHandle();
    curl_slist* raw = nullptr;
    if (curl_easy_getinfo(easy.get(), CURLINFO_COOKIELIST, &raw) != CURLE_OK)
        return {};
    std::unique_ptr<curl_slist, SlistDeleter> list(raw);

    static constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";
    const bool secureRequest = parts.scheme == "https";
    const auto now = std::time(nullptr);
    std::string result;
    for (curl_slist* item = list.get(); item != nullptr; item = item->next) {
        std::string line = item->data;
        bool httpOnly = false;
        if (line.rfind(kHttpOnlyPrefix, 0) == 0) {
            httpOnly = true;
            line.erase(0, kHttpOnlyPrefix.size());
        }
        const auto fields = SplitTabs(line);
        if (fields.size() < 7)
            continue;
        if (httpOnly && !includeHttpOnly)
            continue;
        if (!DomainMatches(parts.host, fields[0], fields[1] == "TRUE"))
            continue;
        if (!PathMatches(parts.path, fields[2]))
            continue;
        if (fields[3] == "TRUE" && !secureRequest)
            continue;
        const long long expires = std::atoll(fields[4].c_str());
        if (expires != 0 && expires < now)
            continue;
        if (!result.empty())
            result += "; ";
        result += fields[5] + "=" + fields[6];
    }
    return result;
}

bool SetCookie(const std::string& url, const std::string& name, const std::string& value,
               bool httpOnly) {
    UrlParts parts;
    if (!SplitUrl(url, parts) || name.empty())
        return false;
    for (const std::string* text : {&name, &value})
        if (text->find_first_of("\t\r\n") != std::string::npos)
            return false;
    // Netscape line: host-only, path "/", not secure-only, session cookie.
    std::string line = (httpOnly ? "#HttpOnly_" : "") + parts.host + "\tFALSE\t/\tFALSE\t0\t" +
                       name + "\t" + value;
    auto easy = detail::NewEasyHandle();
    return curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, line.c_str()) == CURLE_OK;
}

}  // namespace quillbox::http
