// Smoke check of the data-box server stand-in: an HOTP login with plain libcurl, the body sent
// with the cookie it set, and both requests in the server's record.
#include <curl/curl.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "net/servers/databox_test_server.h"

namespace quillbox::test {
namespace {

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

TEST(DataBoxTestServerTest, HotpLoginSetsTheCookieTheServiceWants) {
    DataBoxTestServer server;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    CURL* c = curl.get();
    const std::string login = server.Url(kDataBoxLoginHost, "hotp/box?n=1");
    const std::string credentials =
        std::string(kDataBoxUser) + ":" + kDataBoxPassword + kDataBoxHotpCode;
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(c, CURLOPT_URL, login.c_str());
    curl_easy_setopt(c, CURLOPT_USERPWD, credentials.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, "");
    ASSERT_EQ(curl_easy_perform(c), CURLE_OK);
    long status = 0;
    char* location = nullptr;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location);
    ASSERT_EQ(status, 302);
    const std::string service = location ? location : "";
    EXPECT_EQ(service, server.Url(kDataBoxServiceHost, "service/box?n=1"));

    curl_easy_setopt(c, CURLOPT_URL, service.c_str());
    curl_easy_setopt(c, CURLOPT_USERPWD, nullptr);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, "hello");
    ASSERT_EQ(curl_easy_perform(c), CURLE_OK);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    EXPECT_EQ(status, 200);

    const nlohmann::json seen = server.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0]["step"], "login-ok");
    EXPECT_EQ(seen[0]["authorization"]["text"], credentials);
    EXPECT_EQ(seen[0]["bodyLength"], 0);
    EXPECT_EQ(seen[1]["host"],
              std::string(kDataBoxServiceHost) + ":" + std::to_string(server.port()));
    EXPECT_EQ(seen[1]["step"], "service");
    EXPECT_TRUE(seen[1]["cookieOk"]);
    EXPECT_EQ(seen[1]["bodyLength"], 5);
    server.Reset();
    EXPECT_TRUE(server.Seen().empty());
}

}  // namespace
}  // namespace quillbox::test
