#include "net/servers/databox_test_server.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace quillbox::test {
namespace fs = std::filesystem;

namespace {
// Debian's interpreter when present: a wrapper found first in PATH may take seconds to start.
size_t Append(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}
}  // namespace

std::string DataBoxTestServer::Url(const std::string& host, const std::string& pathAndQuery) const {
    const bool rooted = !pathAndQuery.empty() && pathAndQuery.front() == '/';
    return "http://" + host + ":" + std::to_string(port()) + (rooted ? "" : "/") + pathAndQuery;
}

std::string DataBoxTestServer::Get(const std::string& path) const {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        throw std::runtime_error("curl_easy_init failed");
    const std::string url = Url("127.0.0.1", path);
    std::string body;
    long status = 0;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    // A proxy from the environment must not see the test's own loopback traffic.
    curl_easy_setopt(curl.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(curl.get()) != CURLE_OK ||
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200)
        throw std::runtime_error("data-box test server: GET " + path + " failed");
    return body;
}

nlohmann::json DataBoxTestServer::Seen() const {
    return nlohmann::json::parse(Get("__seen"));
}

void DataBoxTestServer::Reset() const {
    Get("__reset");
}

}  // namespace quillbox::test
