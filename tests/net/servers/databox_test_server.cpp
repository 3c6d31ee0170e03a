#include "net/servers/databox_test_server.h"

#include <stdexcept>

namespace quillbox::test {

std::string DataBoxTestServer::Url(const std::string& host, const std::string& pathAndQuery) const {
    const bool rooted = !pathAndQuery.empty() && pathAndQuery.front() == '/';
    return "http://" + host + ":" + std::to_string(port()) + (rooted ? "" : "/") + pathAndQuery;
}

std::string DataBoxTestServer::Get(const std::string& path) const {
    // A proxy from the environment must not see the test's own loopback traffic.
    const auto [status, body] =
        RunCapturingOutput("curl -sf --noproxy '*' --max-time 10 '" + Url("127.0.0.1", path) + "'");
    if (status != 0)
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
