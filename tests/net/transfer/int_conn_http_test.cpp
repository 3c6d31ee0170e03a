// IntConn against the scriptable HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "net/servers/test_servers.h"
#include "net/transfer/auth_cache.h"
#include "net/transfer/int_conn.h"
#include "net_test_reports.h"
#include "platform/http/transfer.h"
#include "platform/ui/scripted/scripted_user_interface.h"
#include "test_support.h"

namespace quillbox::net {
namespace {

using test::NetReports;
using test::Response;

class IntConnHttpTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = new test::HttpTestServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void TearDown() override { ui::SetUserInterface(nullptr); }

    ResultCode Download(const std::string& url, Response& r,
                        unsigned flags = transfer_flags::kDownload) {
        return DownloadUrl(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                           r.Out(), flags, &reports, &NetReports::Callback);
    }

    // Answers dialogs from a JSON list; the transcript goes to the test's folder.
    void Script(const std::string& answers) {
        test::WriteFile(dir / "answers.json", answers);
        ui_ = std::make_unique<ui::ScriptedUserInterface>(dir / "answers.json", dir / "transcript");
        ui::SetUserInterface(ui_.get());
    }
    std::vector<nlohmann::json> Transcript() const {
        std::vector<nlohmann::json> lines;
        std::istringstream in(test::ReadFile(dir / "transcript"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    static test::HttpTestServer* server_;
    test::TempDir dir;
    NetReports reports;
    std::unique_ptr<ui::ScriptedUserInterface> ui_;
};

test::HttpTestServer* IntConnHttpTest::server_ = nullptr;

TEST_F(IntConnHttpTest, NetworkBodyGetsOneUncountedZero) {
    Response r;
    ASSERT_EQ(Download(server_->Url("?body=hello&ctype=text/plain;%20charset=utf-8"), r),
              ResultCode::Success);
    EXPECT_EQ(r.length, 5u);
    ASSERT_EQ(r.body.size(), 6u);
    EXPECT_EQ(r.body.back(), 0);
    EXPECT_EQ(r.Text(), "hello");
    EXPECT_EQ(r.status, "200");
    EXPECT_EQ(r.contentType, "text/plain; charset=utf-8");
    EXPECT_EQ(r.headers.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_NE(r.headers.find("\r\nContent-Length: 5\r\n"), std::string::npos);
    EXPECT_EQ(reports.Codes(),
              (std::vector<int>{MyNet_AddCookie, MyNet_CrackURL, MyNet_InternetOpen,
                                MyNet_InternetConnectHTTP, MyNet_GETOpenRequestHTTP,
                                MyNet_POSTDataHTTP_S, MyNet_Uploaded, MyNet_InternetReadFile,
                                MyNet_Download, MyNet_Download_OK}));
    EXPECT_TRUE(reports.Has(MyNet_POSTDataHTTP_S, "GET"));
}

TEST_F(IntConnHttpTest, EmptyBodyStillTerminated) {
    Response r;
    ASSERT_EQ(Download(server_->Url("?code=200"), r), ResultCode::Success);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(r.body, std::vector<std::uint8_t>{0});
    EXPECT_EQ(reports.Count(MyNet_Download), 0);
}

TEST_F(IntConnHttpTest, OversizedTextsComeBackEmpty) {
    Response r;
    const std::string longType = "application/x-" + std::string(1100, 'a');
    ASSERT_EQ(Download(server_->Url("?body=x&ctype=" + longType +
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
    ASSERT_TRUE(conn.Open(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 2210,
                          &reports, &NetReports::Callback));
    Response r;
    EXPECT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::ServerError);
    EXPECT_EQ(r.status, "404");
    EXPECT_EQ(r.contentType, "application/xhtml+xml");
    // The error page is handed over for the log, the result stays the failure.
    EXPECT_EQ(r.Text(), "<p/>");
    EXPECT_TRUE(reports.Has(MyNet_HTTPError, "Http error: 404 Not Found"));
    EXPECT_TRUE(reports.Has(MyNet_WININETError, "LastError = 0"));
    EXPECT_TRUE(reports.Has(MyNet_DebugInfo, "HttpStatusCode = 404"));

    NetReports again;
    Response d;
    EXPECT_EQ(DownloadUrl(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                          d.Out(), 2210, &again, &NetReports::Callback),
              ResultCode::Failed);
    EXPECT_EQ(again.Count(MyNet_DownloadingFailed), 1);
    EXPECT_EQ(again.Count(MyNet_Download_ERROR), 1);
}

TEST_F(IntConnHttpTest, RefusedConnectionIsATransportError) {
    Response r;
    const std::string url = "http://127.0.0.1:" + std::to_string(test::FreePort()) + "/";
    EXPECT_EQ(Download(url, r), ResultCode::Failed);
    const auto errors = reports.Texts(MyNet_Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("(error code = 7)"), std::string::npos) << errors[0];
    EXPECT_EQ(r.status, "");
}

TEST_F(IntConnHttpTest, BodyCutShortIsReturnedButFails) {
    Response r;
    EXPECT_EQ(Download(server_->Url("?size=100000&truncate=5000"), r), ResultCode::Failed);
    EXPECT_EQ(r.length, 5000u);
    ASSERT_EQ(r.body.size(), 5001u);
    EXPECT_EQ(r.body[4999], static_cast<std::uint8_t>(4999 % 256));
    EXPECT_EQ(r.status, "200");
    EXPECT_EQ(reports.Count(MyNet_DownloadingFailed), 1);
    EXPECT_EQ(reports.Count(MyNet_Error), 1);
}

TEST_F(IntConnHttpTest, SmallChunksReportEachPiece) {
    Response r;
    // Hundreds digit 6: small chunks, no credential headers.
    ASSERT_EQ(Download(server_->Url("?size=50000&chunked=7000"), r, 2610), ResultCode::Success);
    EXPECT_EQ(r.length, 50000u);
    EXPECT_EQ(reports.Texts(MyNet_Download),
              (std::vector<std::string>{"10240", "10240", "10240", "10240", "9040"}));
    for (std::size_t i = 0; i < r.length; ++i)
        if (r.body[i] != static_cast<std::uint8_t>(i % 256))
            FAIL() << "byte " << i;
}

TEST_F(IntConnHttpTest, LastModifiedIsReportedAsRecord) {
    Response r;
    ASSERT_EQ(Download(server_->Url("?body=x&lastmod=1"), r), ResultCode::Success);
    ASSERT_EQ(reports.fileTimes.size(), 1u);
    const NetFileTime& t = reports.fileTimes[0];
    EXPECT_EQ(t.year, 1994);
    EXPECT_EQ(t.month, 11);
    EXPECT_EQ(t.day, 15);
    EXPECT_EQ(t.dayOfWeek, 2);
    EXPECT_EQ(t.hour, 8);
    EXPECT_EQ(t.minute, 12);
    EXPECT_EQ(t.second, 31);
}

TEST_F(IntConnHttpTest, GetNeverSendsTheBody) {
    IntConn conn;
    const std::string url = server_->Url("?echo=1");
    ASSERT_TRUE(conn.Open(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 2210,
                          &reports, &NetReports::Callback));
    const std::string data = "must-not-arrive";
    ASSERT_EQ(conn.SendData(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                            nullptr, &NetReports::Callback),
              ResultCode::Success);
    Response r;
    ASSERT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::Success);
    const auto echo = nlohmann::json::parse(r.Text());
    EXPECT_EQ(echo["method"], "GET");
    EXPECT_EQ(echo["length"], 0);
}

TEST_F(IntConnHttpTest, PostSendsBodyHeadersAndCredentialHeaders) {
    for (unsigned flags : {0u, 200u, 1100u}) {
        SCOPED_TRACE(flags);
        IntConn conn;
        const std::string url = server_->Url("?echo=1");
        ASSERT_TRUE(conn.Open(nullptr, url.c_str(), "jan", "", nullptr, nullptr, nullptr, flags,
                              &reports, &NetReports::Callback));
        const std::string data = "a=1&b=2";
        ASSERT_EQ(conn.SendData(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                                "X-Form: one\r\nContent-Type: application/x-www-form-urlencoded",
                                &NetReports::Callback),
                  ResultCode::Success);
        Response r;
        ASSERT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::Success);
        const auto echo = nlohmann::json::parse(r.Text());
        EXPECT_EQ(echo["method"], flags == 1100u ? "PUT" : "POST");
        EXPECT_EQ(echo["body"], data);
        EXPECT_EQ(echo["headers"]["X-Form"], "one");
        const bool credentialHeaders = flags != 200u;
        EXPECT_EQ(echo["headers"].contains("MyName"), credentialHeaders);
        if (credentialHeaders) {
            EXPECT_EQ(echo["headers"]["MyName"], "jan");
            EXPECT_EQ(echo["headers"]["MyPassword"], "");
        }
        EXPECT_EQ(echo["headers"].contains("Expect"), false);
    }
    EXPECT_TRUE(reports.Has(MyNet_POSTOpenRequestHTTP, "HTTP/1.0"));
}

TEST_F(IntConnHttpTest, HandledRedirectIsSuccessAndHandedOverOnce) {
    IntConn conn;
    conn.SetRedirectHandling(true);
    const std::string url = server_->Url("login?chain=1&body=final");
    ASSERT_TRUE(conn.Open(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 210,
                          &reports, &NetReports::Callback));
    EXPECT_TRUE(reports.Has(MyNet_DebugInfo, "Handling redirect"));
    ASSERT_EQ(conn.SendData(nullptr, 0, nullptr, &NetReports::Callback), ResultCode::Success);
    std::string location;
    ASSERT_TRUE(conn.GetRedirectUrl(location));
    EXPECT_EQ(location, "/login?chain=0&body=final");
    EXPECT_FALSE(conn.GetRedirectUrl(location));
    EXPECT_EQ(location, "/login?chain=0&body=final");
}

TEST_F(IntConnHttpTest, DownloadFollowsRedirectChain) {
    Response r;
    ASSERT_EQ(Download(server_->Url("?chain=3&body=arrived"), r), ResultCode::Success);
    EXPECT_EQ(r.Text(), "arrived");
    EXPECT_EQ(reports.Count(MyNet_POSTDataHTTP_S), 1);
}

TEST_F(IntConnHttpTest, TwentyFirstAttemptEndsTheLoop) {
    std::string answers = "[";
    for (int i = 0; i < 25; ++i)
        answers += std::string(i ? "," : "") +
                   R"({"dialog": "credentials", "answer": "ok", "user": "x", "password": "wrong"})";
    Script(answers + "]");
    Response r;
    EXPECT_EQ(Download(server_->Url("?auth=u:p&body=secret"), r), ResultCode::Failed);
    EXPECT_EQ(reports.Count(MyNet_POSTDataHTTP_S), 20);
    EXPECT_TRUE(reports.Has(MyNet_Error, "Maximum of requests exceeded"));
    EXPECT_EQ(Transcript().size(), 20u);
    EXPECT_EQ(r.length, 0u);
}

TEST_F(IntConnHttpTest, CredentialsDialogAnswersA401) {
    Script(R"([{"dialog": "credentials", "answer": "ok", "user": "u", "password": "p"}])");
    Response r;
    ASSERT_EQ(Download(server_->Url("?auth=u:p&body=secret"), r), ResultCode::Success);
    EXPECT_EQ(r.Text(), "secret");
    const auto lines = Transcript();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["dialog"], "credentials");
    EXPECT_NE(lines[0]["texts"][0].get<std::string>().find("127.0.0.1"), std::string::npos);
    EXPECT_EQ(lines[0].dump().find("\"p\""), std::string::npos);  // no password in the transcript
}

TEST_F(IntConnHttpTest, CancelledCredentialsEndTheLoopAtOnce) {
    Script("[]");  // the default answer: cancel
    IntConn conn;
    const std::string url = server_->Url("?auth=u:p");
    ASSERT_TRUE(conn.Open(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 2210,
                          &reports, &NetReports::Callback));
    Response r;
    EXPECT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::Cancelled);
    EXPECT_EQ(reports.Count(MyNet_POSTDataHTTP_S), 1);
    EXPECT_EQ(r.status, "401");
}

TEST_F(IntConnHttpTest, NamedProxyWithCredentials) {
    const std::string proxy = "127.0.0.1:" + std::to_string(server_->port());
    Response r;
    ASSERT_EQ(
        DownloadUrl(nullptr, "http://target.test.invalid/?echo=1", nullptr, nullptr, proxy.c_str(),
                    "pu", "pp", r.Out(), 2220, &reports, &NetReports::Callback),
        ResultCode::Success);
    const auto echo = nlohmann::json::parse(r.Text());
    EXPECT_EQ(echo["headers"]["Proxy-Authorization"], "Basic cHU6cHA=");
    EXPECT_EQ(echo["headers"]["Host"], "target.test.invalid");
}

TEST_F(IntConnHttpTest, SystemProxyComesFromTheEnvironmentDirectIgnoresIt) {
    test::ScopedEnv proxy("http_proxy", "http://127.0.0.1:" + std::to_string(server_->port()));
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
    const std::string base = server_->Url("c");
    EXPECT_EQ(http::GetCookies(base, false).find("sid=42"), std::string::npos);
    EXPECT_NE(http::GetCookies(base, true).find("sid=42"), std::string::npos);
    Response second;
    ASSERT_EQ(Download(server_->Url("c?echo=1"), second), ResultCode::Success);
    EXPECT_NE(
        nlohmann::json::parse(second.Text())["headers"]["Cookie"].get<std::string>().find("sid=42"),
        std::string::npos);
}

TEST_F(IntConnHttpTest, DataBoxExchangePresentsRememberedLoginState) {
    const std::string url = server_->Url("box?echo=1");
    RememberCookie("127.0.0.1", "IPCZ-X-COOKIE=remembered");
    RememberAuthorization(url, "Authorization: Basic Ym94OnB3");
    IntConn conn;
    conn.SetDataBoxForm(true);
    ASSERT_TRUE(conn.Open(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 210,
                          &reports, &NetReports::Callback));
    EXPECT_TRUE(reports.Has(MyNet_DebugInfo, "Recognized ISDS form"));
    ASSERT_EQ(conn.SendData(nullptr, 0, nullptr, &NetReports::Callback), ResultCode::Success);
    Response r;
    ASSERT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::Success);
    const auto echo = nlohmann::json::parse(r.Text());
    EXPECT_EQ(echo["headers"]["Authorization"], "Basic Ym94OnB3");
    EXPECT_NE(echo["headers"]["Cookie"].get<std::string>().find("IPCZ-X-COOKIE=remembered"),
              std::string::npos);
    EXPECT_TRUE(reports.Has(MyNet_DebugInfo, "Setting auc..."));
    EXPECT_TRUE(reports.Has(MyNet_DebugInfo, "Setting bah..."));
}

TEST_F(IntConnHttpTest, DataBox401WithoutLoginStepIsAnErrorWithoutDialog) {
    Script(R"([{"dialog": "credentials", "answer": "ok", "user": "u", "password": "p"}])");
    IntConn conn;
    conn.SetDataBoxForm(true);
    const std::string url = server_->Url("box401?auth=u:p");
    ASSERT_TRUE(conn.Open(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, 210,
                          &reports, &NetReports::Callback));
    EXPECT_EQ(conn.SendData(nullptr, 0, nullptr, &NetReports::Callback), ResultCode::ServerError);
    EXPECT_TRUE(reports.Has(MyNet_HTTPError, "Http error: 401 Unauthorized"));
    EXPECT_EQ(ui_->RemainingAnswers(), 1u);
}

}  // namespace
}  // namespace quillbox::net
