// IntConn without a network: flag decoding, local files, open failures, accessors.
#include <gtest/gtest.h>

#include "net/transfer/cookie_step.h"
#include "net/transfer/int_conn.h"
#include "net_test_reports.h"
#include "platform/http/transfer.h"
#include "test_support.h"

namespace quillbox::net {
namespace {

using test::NetReports;
using test::Response;

bool OpenWith(IntConn& conn, const std::string& url, unsigned flags, NetReports& reports) {
    return conn.Open(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, flags,
                     &reports, &NetReports::Callback);
}

TEST(IntConnFlagsTest, DigitsSetTheirFields) {
    struct Case {
        unsigned flags;
        bool passive, small, noCredHeaders, http10, trusted;
        const char* verb;
        int proxy;
    } cases[] = {
        {2210, false, false, true, false, false, "GET", 1},
        {210, false, false, true, false, false, "POST", 1},
        {1, true, false, false, false, false, "POST", 0},
        {700, false, true, true, true, false, "POST", 0},
        {500, false, true, false, true, false, "POST", 0},
        {300, false, false, true, true, false, "POST", 0},
        {13020, false, false, false, false, true, "HEAD", 2},
        {1000, false, false, false, false, false, "PUT", 0},
        {4000, false, false, false, false, false, "POST", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        IntConn conn;
        NetReports reports;
        ASSERT_TRUE(OpenWith(conn, "http://127.0.0.1:1/x", c.flags, reports));
        EXPECT_EQ(conn.PassiveFtp(), c.passive);
        EXPECT_EQ(conn.SmallReadChunks(), c.small);
        EXPECT_EQ(conn.SendCredentialHeaders(), !c.noCredHeaders);
        EXPECT_EQ(conn.UseHttp10(), c.http10);
        EXPECT_EQ(conn.TrustedDomainCheck(), c.trusted);
        EXPECT_EQ(conn.Verb(), c.verb);
        EXPECT_EQ(conn.ProxyType(), c.proxy);
        EXPECT_TRUE(reports.Has(MyNet_InternetOpen, "iFlagProxyType = " + std::to_string(c.proxy)));
    }
}

TEST(IntConnFlagsTest, UnknownProxyTypeFailsOpen) {
    IntConn conn;
    NetReports reports;
    EXPECT_FALSE(OpenWith(conn, "http://127.0.0.1:1/", 30, reports));
    EXPECT_TRUE(reports.Has(MyNet_InternetOpenFailed, "Unknown proxy type"));
}

TEST(IntConnOpenTest, SchemeIsCompletedAndHostExtracted) {
    IntConn conn;
    NetReports reports;
    ASSERT_TRUE(OpenWith(conn, "127.0.0.1:8080/x", 2210, reports));
    EXPECT_EQ(conn.FullUrl(), "http://127.0.0.1:8080/x");
    EXPECT_EQ(conn.HostName(), "127.0.0.1");
    EXPECT_FALSE(conn.IsLocalFile());
    EXPECT_EQ(reports.Codes(),
              (std::vector<int>{MyNet_CrackURL, MyNet_InternetOpen, MyNet_InternetConnectHTTP}));

    IntConn v6;
    ASSERT_TRUE(OpenWith(v6, "https://[::1]:8443/p", 2210, reports));
    EXPECT_EQ(v6.HostName(), "[::1]");
}

TEST(IntConnOpenTest, UnsplittableUrlFailsWithoutReport) {
    IntConn conn;
    NetReports reports;
    EXPECT_FALSE(OpenWith(conn, "http://:80/", 2210, reports));
    EXPECT_TRUE(reports.list.empty());
}

TEST(IntConnLocalTest, FileBodyHasNoTerminator) {
    test::TempDir dir;
    test::WriteFile(dir / "task one.xml", "<a/>");
    NetReports reports;
    IntConn conn;
    ASSERT_TRUE(OpenWith(conn, "file://" + (dir / "task%20one.xml").string(), 2210, reports));
    EXPECT_TRUE(conn.IsLocalFile());
    Response r;
    r.status = "keep";
    EXPECT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::Success);
    EXPECT_EQ(r.length, 4u);
    EXPECT_EQ(r.body.size(), 4u);
    EXPECT_EQ(r.Text(), "<a/>");
    EXPECT_EQ(r.status, "keep");  // a file has no headers to give
    EXPECT_EQ(reports.Codes(), (std::vector<int>{MyNet_FILE, MyNet_FILE_Opened, MyNet_Download}));
    EXPECT_TRUE(reports.Has(MyNet_Download, "4"));
}

TEST(IntConnLocalTest, PlainPathAndEmptyFile) {
    test::TempDir dir;
    test::WriteFile(dir / "empty", "");
    NetReports reports;
    Response r;
    EXPECT_EQ(DownloadUrl(nullptr, (dir / "empty").c_str(), nullptr, nullptr, nullptr, nullptr,
                          nullptr, r.Out(), 2210, &reports, &NetReports::Callback),
              ResultCode::Success);
    EXPECT_EQ(r.length, 0u);
    EXPECT_TRUE(r.body.empty());
    EXPECT_EQ(reports.Count(MyNet_Download_OK), 1);
}

TEST(IntConnLocalTest, MissingFileReportsOpenFailed) {
    NetReports reports;
    Response r;
    EXPECT_EQ(DownloadUrl(nullptr, "/nonexistent/quillbox/file", nullptr, nullptr, nullptr, nullptr,
                          nullptr, r.Out(), 2210, &reports, &NetReports::Callback),
              ResultCode::Failed);
    EXPECT_EQ(reports.Codes(), (std::vector<int>{MyNet_AddCookie, MyNet_FILE, MyNet_FILE_OpenFailed,
                                                 MyNet_ConnectigFailed}));
}

TEST(IntConnLocalTest, UnconvertibleFileUrlReportsThreeLines) {
    NetReports reports;
    IntConn conn;
    EXPECT_FALSE(OpenWith(conn, "file://elsewhere/x", 2210, reports));
    ASSERT_EQ(reports.list.size(), 3u);
    EXPECT_EQ(reports.list[0],
              std::make_pair(int{MyNet_DebugInfo}, std::string("file://elsewhere/x")));
    EXPECT_EQ(reports.list[1], std::make_pair(int{MyNet_DebugInfo},
                                              std::string("PathCreateFromUrl - file not found")));
    EXPECT_EQ(reports.list[2].first, MyNet_FILE_OpenFailed);
}

TEST(IntConnAccessorsTest, OtpValuesAreLimitedTo99Characters) {
    IntConn conn;
    EXPECT_TRUE(conn.SetOtpUser(std::string(99, 'u').c_str()));
    EXPECT_FALSE(conn.SetOtpUser(std::string(100, 'x').c_str()));
    EXPECT_EQ(std::string(conn.GetOtpUser()), std::string(99, 'u'));
    EXPECT_FALSE(conn.SetOtpPassword(nullptr));
    EXPECT_TRUE(conn.SetOtpPassword(""));
    EXPECT_EQ(conn.GetAuthScheme(), -2);
    std::string url;
    EXPECT_FALSE(conn.GetRedirectUrl(url));
}

TEST(IntConnCookieStepTest, CallbackCookieIsStoredForTheUrl) {
    NetReports reports;
    reports.cookieAnswer = "AppAccPar=token123";
    RunCookieStep("http://cookies.test.invalid/form", &reports, &NetReports::Callback);
    EXPECT_TRUE(reports.Has(MyNet_DebugInfo, "AppAccPar byl nastaven"));
    EXPECT_EQ(http::GetCookies("http://cookies.test.invalid/other", false), "AppAccPar=token123");
    EXPECT_EQ(http::GetCookies("http://elsewhere.test.invalid/", false), "");

    NetReports unchanged;
    RunCookieStep("http://cookies.test.invalid/form", &unchanged, &NetReports::Callback);
    EXPECT_TRUE(unchanged.Has(MyNet_DebugInfo, "AppAccPar neni k dispozici"));
}

}  // namespace
}  // namespace quillbox::net
