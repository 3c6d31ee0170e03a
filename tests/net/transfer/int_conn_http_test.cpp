// IntConn against the scriptable HTTP server on 127.0.0.1.
#include <malloc.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "net/servers/test_servers.h"
#include "net/transfer/auth_cache.h"
#include "net/transfer/int_conn.h"
#include "net_test_reports.h"
#include "platform/http/transfer.h"

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

TEST_F(IntConnHttpTest, NetworkBodyGetsOneUncountedZero) {
    Response r;
    ASSERT_EQ(Download(server_->Url("?body=hello&ctype=text/plain;%20charset=utf-8"), r),
              ResultCode::Success);
    EXPECT_EQ(r.length, 5u);
    EXPECT_EQ(r.body, (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o', 0}));
    EXPECT_EQ(r.status, "200");
    EXPECT_EQ(r.contentType, "text/plain; charset=utf-8");
    EXPECT_EQ(r.headers.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_NE(r.headers.find("\r\nContent-Length: 5\r\n"), std::string::npos);
    EXPECT_TRUE(reports.Has(MyNet_POSTDataHTTP_S, "GET"));

    Response empty;
    ASSERT_EQ(Download(server_->Url("?code=200"), empty), ResultCode::Success);
    EXPECT_EQ(empty.length, 0u);
    EXPECT_EQ(empty.body, std::vector<std::uint8_t>{0});
}

TEST_F(IntConnHttpTest, OversizedTextsComeBackEmpty) {
    Response r;
    ASSERT_EQ(Download(server_->Url("?body=x&ctype=application/x-" + std::string(1100, 'a') +
                                    "&header=X-Big:" + std::string(4100, 'b')),
                       r),
              ResultCode::Success);
    EXPECT_EQ(r.contentType, "");
    EXPECT_EQ(r.headers, "");
    EXPECT_EQ(r.status, "200");
    EXPECT_EQ(r.Text(), "x");

    Response fits;
    const std::string type1023 = "a/" + std::string(1021, 'c');
    ASSERT_EQ(Download(server_->Url("?ctype=" + type1023), fits), ResultCode::Success);
    EXPECT_EQ(fits.contentType, type1023);
}

TEST_F(IntConnHttpTest, ServerErrorKeepsTextsAndReportsStatus) {
    IntConn conn;
    const std::string url =
        server_->Url("?code=404&reason=Not%20Found&ctype=application/xhtml%2Bxml&body=%3Cp/%3E");
    ASSERT_TRUE(test::Open(conn, url, 2210, reports));
    Response r;
    EXPECT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::ServerError);
    EXPECT_EQ(r.status, "404");
    EXPECT_EQ(r.contentType, "application/xhtml+xml");
    // The error page is handed over for the log, the result stays the failure.
    EXPECT_EQ(r.Text(), "<p/>");
    EXPECT_TRUE(reports.Has(MyNet_HTTPError, "Http error: 404 Not Found"));

    NetReports again;
    Response d;
    EXPECT_EQ(test::Download(url, d, 2210, again), ResultCode::Failed);
    EXPECT_EQ(again.Count(MyNet_Download_ERROR), 1);
}

TEST_F(IntConnHttpTest, BodyCutShortIsReturnedButFails) {
    Response r;
    EXPECT_EQ(Download(server_->Url("?size=100000&truncate=5000"), r), ResultCode::Failed);
    EXPECT_EQ(r.length, 5000u);
    ASSERT_EQ(r.body.size(), 5001u);
    EXPECT_EQ(r.body[4999], static_cast<std::uint8_t>(4999 % 256));
    EXPECT_EQ(reports.Count(MyNet_DownloadingFailed), 1);
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

TEST_F(IntConnHttpTest, SmallChunksReportEachPieceAndLastModifiedIsARecord) {
    Response r;
    // Hundreds digit 6: small chunks, no credential headers.
    ASSERT_EQ(Download(server_->Url("?size=50000&chunked=7000&lastmod=1"), r, 2610),
              ResultCode::Success);
    EXPECT_EQ(r.length, 50000u);
    EXPECT_EQ(reports.Texts(MyNet_Download),
              (std::vector<std::string>{"10240", "10240", "10240", "10240", "9040"}));
    for (std::size_t i = 0; i < r.length; ++i)
        if (r.body[i] != static_cast<std::uint8_t>(i % 256))
            FAIL() << "byte " << i;
    ASSERT_EQ(reports.fileTimes.size(), 1u);
    const NetFileTime& t = reports.fileTimes[0];
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.dayOfWeek, t.hour, t.minute, t.second}),
              std::vector<int>({1994, 11, 15, 2, 8, 12, 31}));
}

// GET never sends the body; the credential headers follow the hundreds digit.
TEST_F(IntConnHttpTest, VerbSendsBodyHeadersAndCredentialHeaders) {
    const struct {
        unsigned flags;
        const char *method, *body, *myName;
    } cases[] = {{2210, "GET", "", "<none>"},
                 {0, "POST", "a=1&b=2", "jan"},
                 {200, "POST", "a=1&b=2", "<none>"},
                 {1100, "PUT", "a=1&b=2", "jan"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        IntConn conn;
        const json echo =
            Echo(conn, "?echo=1", c.flags, "a=1&b=2",
                 "X-Form: one\r\nContent-Type: application/x-www-form-urlencoded", "jan");
        EXPECT_EQ(echo["method"], c.method);
        EXPECT_EQ(echo["body"], c.body);
        EXPECT_EQ(echo["headers"]["X-Form"], "one");
        EXPECT_EQ(echo["headers"].value("MyName", "<none>"), c.myName);
        EXPECT_FALSE(echo["headers"].contains("Expect"));
    }
    EXPECT_TRUE(reports.Has(MyNet_POSTOpenRequestHTTP, "HTTP/1.0"));
}

TEST_F(IntConnHttpTest, RedirectsAreHandedOverOnceOrFollowed) {
    IntConn conn;
    conn.SetRedirectHandling(true);
    ASSERT_TRUE(test::Open(conn, server_->Url("login?chain=1&body=final"), 210, reports));
    ASSERT_EQ(conn.SendData(nullptr, 0, nullptr, &NetReports::Callback), ResultCode::Success);
    std::string location;
    ASSERT_TRUE(conn.GetRedirectUrl(location));
    // The server's relative Location comes back resolved against the request's URL.
    EXPECT_EQ(location, server_->Url("login?chain=0&body=final"));
    EXPECT_FALSE(conn.GetRedirectUrl(location));

    NetReports followed;
    Response r;
    ASSERT_EQ(test::Download(server_->Url("?chain=3&body=arrived"), r, 2210, followed),
              ResultCode::Success);
    EXPECT_EQ(r.Text(), "arrived");
    EXPECT_EQ(followed.Count(MyNet_POSTDataHTTP_S), 1);
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

TEST_F(IntConnHttpTest, CredentialsDialogAnswersA401OrCancels) {
    person.Answer(R"([{"dialog": "credentials", "answer": "ok", "user": "u", "password": "p"}])");
    Response r;
    ASSERT_EQ(Download(server_->Url("?auth=u:p&body=secret"), r), ResultCode::Success);
    EXPECT_EQ(r.Text(), "secret");
    const auto lines = person.Transcript();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0]["texts"][0].get<std::string>().find("127.0.0.1"), std::string::npos);
    EXPECT_EQ(lines[0].dump().find("\"p\""), std::string::npos);  // no password in the transcript

    person.Answer("[]");  // the default answer: cancel
    NetReports cancelled;
    IntConn conn;
    ASSERT_TRUE(test::Open(conn, server_->Url("?auth=u:p"), 2210, cancelled));
    Response c;
    EXPECT_EQ(conn.ReadResponse(c.Out(), &NetReports::Callback), ResultCode::Cancelled);
    EXPECT_EQ(cancelled.Count(MyNet_POSTDataHTTP_S), 1);
    EXPECT_EQ(c.status, "401");
}

TEST_F(IntConnHttpTest, NamedAndSystemProxies) {
    const std::string proxy = "127.0.0.1:" + std::to_string(server_->port());
    Response r;
    ASSERT_EQ(
        DownloadUrl(nullptr, "http://target.test.invalid/?echo=1", nullptr, nullptr, proxy.c_str(),
                    "pu", "pp", r.Out(), 2220, &reports, &NetReports::Callback),
        ResultCode::Success);
    const auto echo = json::parse(r.Text());
    EXPECT_EQ(echo["headers"]["Proxy-Authorization"], "Basic cHU6cHA=");
    EXPECT_EQ(echo["headers"]["Host"], "target.test.invalid");

    test::ScopedEnv envProxy("http_proxy", "http://" + proxy);
    test::ScopedEnv noProxy("no_proxy", std::nullopt);
    test::ScopedEnv noProxyUpper("NO_PROXY", std::nullopt);
    Response viaProxy;
    ASSERT_EQ(Download("http://target.test.invalid/?body=proxied", viaProxy, 2210),
              ResultCode::Success);
    EXPECT_EQ(viaProxy.Text(), "proxied");
    Response direct;  // proxy type 0 ignores the environment
    EXPECT_EQ(Download("http://target.test.invalid/?body=proxied", direct, 2200),
              ResultCode::Failed);
}

TEST_F(IntConnHttpTest, CookiesAreSharedBetweenConnections) {
    Response first;
    ASSERT_EQ(Download(server_->Url("c?header=Set-Cookie:sid=42;%20Path=/;%20HttpOnly"), first),
              ResultCode::Success);
    EXPECT_EQ(http::GetCookies(server_->Url("c"), false).find("sid=42"), std::string::npos);
    EXPECT_NE(http::GetCookies(server_->Url("c"), true).find("sid=42"), std::string::npos);
    Response second;
    ASSERT_EQ(Download(server_->Url("c?echo=1"), second), ResultCode::Success);
    EXPECT_NE(json::parse(second.Text())["headers"]["Cookie"].get<std::string>().find("sid=42"),
              std::string::npos);
}

TEST_F(IntConnHttpTest, DataBoxExchangePresentsRememberedLoginState) {
    RememberCookie("127.0.0.1", "IPCZ-X-COOKIE=remembered");
    RememberAuthorization(server_->Url("box?echo=1"), "Authorization: Basic Ym94OnB3");
    IntConn conn;
    conn.SetDataBoxForm(true);
    const json echo = Echo(conn, "box?echo=1", 210);
    EXPECT_TRUE(reports.Has(MyNet_DebugInfo, "Recognized ISDS form"));
    EXPECT_EQ(echo["headers"]["Authorization"], "Basic Ym94OnB3");
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
