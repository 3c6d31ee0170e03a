// IntConn against the scriptable HTTP server on 127.0.0.1.
#include <malloc.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "net/servers/test_servers.h"
#include "net/transfer/auth_cache.h"
#include "net/transfer/int_conn.h"
#include "net_test_reports.h"

namespace quillbox::net {
namespace {

using nlohmann::json;
using test::NetReports;
using test::Response;

class IntConnHttpTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = new test::HttpTestServer(); }
    static void TearDownTestSuite() { delete server_; }

    ResultCode Download(const std::string& url, Response& r,
                        unsigned flags = transfer_flags::kDownload) {
        return test::Download(url, r, flags, reports);
    }
    // Opens, sends data and returns what the echo server saw.
    json Echo(IntConn& conn, const std::string& path, unsigned flags, const std::string& data = "",
              const char* headers = nullptr, const char* user = nullptr) {
        EXPECT_TRUE(test::Open(conn, server_->Url(path), flags, reports, user));
        EXPECT_EQ(conn.SendData(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                                headers, &NetReports::Callback),
                  ResultCode::Success);
        Response r;
        EXPECT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::Success);
        return json::parse(r.Text());
    }

    static test::HttpTestServer* server_;
    NetReports reports;
    test::ScriptedPerson person;
};

test::HttpTestServer* IntConnHttpTest::server_ = nullptr;

// A network body gets one uncounted zero; texts over their limits come back empty; an error
// page, or a body cut short, is handed over while the result stays the failure.
TEST_F(IntConnHttpTest, BodyAndTextsOfOneDownload) {
    const std::string type1023 = "a/" + std::string(1021, 'c');
    std::string first5000(5000, '\0');
    for (std::size_t i = 0; i < first5000.size(); ++i)
        first5000[i] = static_cast<char>(i % 256);
    const struct {
        std::string query;
        ResultCode result;
        std::string text, status, contentType;
        bool headers;
    } cases[] = {
        {"?body=hello&ctype=text/plain;%20charset=utf-8", ResultCode::Success, "hello", "200",
         "text/plain; charset=utf-8", true},
        {"?code=200", ResultCode::Success, "", "200", "", true},
        {"?body=x&ctype=application/x-" + std::string(1100, 'a') +
             "&header=X-Big:" + std::string(4100, 'b'),
         ResultCode::Success, "x", "200", "", false},
        {"?ctype=" + type1023, ResultCode::Success, "", "200", type1023, true},
        {"?code=404&reason=Not%20Found&ctype=application/xhtml%2Bxml&body=%3Cp/%3E",
         ResultCode::Failed, "<p/>", "404", "application/xhtml+xml", true},
        {"?size=100000&truncate=5000", ResultCode::Failed, first5000, "200", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query.substr(0, 40));
        Response r;
        ASSERT_EQ(Download(server_->Url(c.query), r), c.result);
        EXPECT_EQ(r.length, c.text.size());
        EXPECT_EQ(std::string(r.body.begin(), r.body.end()), c.text + '\0');
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.contentType, c.contentType);
        EXPECT_EQ(r.headers.rfind("HTTP/1.1 " + c.status, 0) == 0, c.headers);
    }
    EXPECT_TRUE(reports.Has(MyNet_HTTPError, "Http error: 404 Not Found"));
    EXPECT_EQ(reports.Count(MyNet_Download_ERROR), 2);
}

// Heap in use as the allocator sees it, large blocks mapped for big requests included.
std::size_t HeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct HeapPeak {
    NetReports reports;
    std::size_t peak = 0;
    // Every report of a piece read is a moment the body block is alive.
    static void Callback(int code, char* text, void* context) {
        auto* self = static_cast<HeapPeak*>(context);
        NetReports::Callback(code, text, &self->reports);
        self->peak = std::max(self->peak, HeapBytes());
    }
};

TEST_F(IntConnHttpTest, ALyingContentLengthCostsOnlyWhatArrives) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    for (const std::size_t claim : {std::size_t{1} << 30, (std::size_t{1} << 30) - 1, 512 * kMiB}) {
        SCOPED_TRACE(claim);
        HeapPeak heap;
        Response r;
        const std::size_t before = HeapBytes();
        const std::string url = server_->Url("?size=1000&length=" + std::to_string(claim));
        EXPECT_EQ(DownloadUrl(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                              r.Out(), transfer_flags::kDownload, &heap, &HeapPeak::Callback),
                  ResultCode::Failed);
        EXPECT_EQ(r.length, 1000u);
        EXPECT_EQ(heap.reports.Count(MyNet_Error), 1);
        EXPECT_LT(heap.peak - std::min(before, heap.peak), 200 * kMiB);
    }
}

// GET never sends the body; the user's name and password never go as headers with the
// flags that downloads and sends use.
TEST_F(IntConnHttpTest, VerbSendsBodyAndPageHeadersButNoCredentialHeaders) {
    const struct {
        unsigned flags;
        const char *method, *body;
    } cases[] = {{2210, "GET", ""}, {210, "POST", "a=1&b=2"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        IntConn conn;
        const json echo =
            Echo(conn, "?echo=1", c.flags, "a=1&b=2",
                 "X-Form: one\r\nContent-Type: application/x-www-form-urlencoded", "jan");
        EXPECT_EQ(echo["method"], c.method);
        EXPECT_EQ(echo["body"], c.body);
        EXPECT_EQ(echo["headers"]["X-Form"], "one");
        EXPECT_FALSE(echo["headers"].contains("MyName"));
        EXPECT_FALSE(echo["headers"].contains("MyPassword"));
        EXPECT_FALSE(echo["headers"].contains("Expect"));
    }
}

// Twenty redirects are followed; the next one fails the exchange like any transport error.
TEST_F(IntConnHttpTest, TwentyRedirectsAreFollowedAndNoMore) {
    const struct {
        const char* query;
        ResultCode result;
    } cases[] = {{"?chain=20&body=arrived", ResultCode::Success},
                 {"?chain=21&body=arrived", ResultCode::Failed},
                 {"?self=1", ResultCode::Failed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        NetReports followed;
        Response r;
        EXPECT_EQ(test::Download(server_->Url(c.query), r, 2210, followed), c.result);
        EXPECT_EQ(followed.Count(MyNet_POSTDataHTTP_S), 1);
        if (c.result == ResultCode::Success) {
            EXPECT_EQ(r.Text(), "arrived");
            continue;
        }
        EXPECT_EQ(followed.Count(MyNet_Error), 1);
        EXPECT_EQ(followed.Count(MyNet_Download_ERROR), 1);
        EXPECT_EQ(r.status, "302");
    }
}

TEST_F(IntConnHttpTest, TwentyFirstAttemptEndsTheLoop) {
    std::string answers = "[";
    for (int i = 0; i < 25; ++i)
        answers += std::string(i ? "," : "") +
                   R"({"dialog": "credentials", "answer": "ok", "user": "x", "password": "wrong"})";
    person.Answer(answers + "]");
    Response r;
    EXPECT_EQ(Download(server_->Url("?auth=u:p&body=secret"), r), ResultCode::Failed);
    EXPECT_EQ(reports.Count(MyNet_POSTDataHTTP_S), 20);
    EXPECT_TRUE(reports.Has(MyNet_Error, "Maximum of requests exceeded"));
    EXPECT_EQ(person.Transcript().size(), 20u);
    EXPECT_EQ(r.length, 0u);
}

// Downloads go through the system's proxy; proxy type 0 ignores it.
TEST_F(IntConnHttpTest, SystemProxyFromTheEnvironment) {
    test::ScopedEnv envProxy("http_proxy", "http://127.0.0.1:" + std::to_string(server_->port()));
    test::ScopedEnv noProxy("no_proxy", std::nullopt);
    test::ScopedEnv noProxyUpper("NO_PROXY", std::nullopt);
    Response viaProxy;
    ASSERT_EQ(Download("http://target.test.invalid/?body=proxied", viaProxy, 2210),
              ResultCode::Success);
    EXPECT_EQ(viaProxy.Text(), "proxied");
    Response direct;
    EXPECT_EQ(Download("http://target.test.invalid/?body=proxied", direct, 2200),
              ResultCode::Failed);
}

TEST_F(IntConnHttpTest, CookiesAreSharedBetweenConnections) {
    Response first;
    ASSERT_EQ(Download(server_->Url("c?header=Set-Cookie:sid=42;%20Path=/;%20HttpOnly"), first),
              ResultCode::Success);
    Response second;
    ASSERT_EQ(Download(server_->Url("c?echo=1"), second), ResultCode::Success);
    EXPECT_NE(json::parse(second.Text())["headers"]["Cookie"].get<std::string>().find("sid=42"),
              std::string::npos);
}

// A data-box exchange presents the session cookie a login step remembered, even when the
// cookie jar does not hold it.
TEST_F(IntConnHttpTest, DataBoxExchangePresentsTheRememberedCookie) {
    RememberCookie("127.0.0.1", "IPCZ-X-COOKIE=remembered");
    IntConn conn;
    conn.SetDataBoxForm(true);
    const json echo = Echo(conn, "box?echo=1", 210);
    EXPECT_NE(echo["headers"]["Cookie"].get<std::string>().find("IPCZ-X-COOKIE=remembered"),
              std::string::npos);
}

TEST_F(IntConnHttpTest, DataBox401WithoutLoginStepIsAnErrorWithoutDialog) {
    person.Answer(R"([{"dialog": "credentials", "answer": "ok", "user": "u", "password": "p"}])");
    IntConn conn;
    conn.SetDataBoxForm(true);
    ASSERT_TRUE(test::Open(conn, server_->Url("box401?auth=u:p"), 210, reports));
    EXPECT_EQ(conn.SendData(nullptr, 0, nullptr, &NetReports::Callback), ResultCode::ServerError);
    EXPECT_TRUE(reports.Has(MyNet_HTTPError, "Http error: 401 Unauthorized"));
    EXPECT_EQ(person.ui->RemainingAnswers(), 1u);
}

}  // namespace
}  // namespace quillbox::net
