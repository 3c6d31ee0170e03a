// IntConn without a network: flag decoding, local files, open failures, the cookie step.
#include <gtest/gtest.h>

#include "net/transfer/cookie_step.h"
#include "net/transfer/int_conn.h"
#include "net_test_reports.h"
#include "platform/http/transfer.h"

namespace quillbox::net {
namespace {

using test::NetReports;
using test::Open;
using test::Response;

TEST(IntConnOpenTest, DigitsSetTheirFieldsAndTheUrlIsCompleted) {
    struct Case {
        unsigned flags;
        bool passive, small, credHeaders, http10, trusted;
        const char* verb;
        int proxy;
    } cases[] = {
        {2210, false, false, false, false, false, "GET", 1},
        {1, true, false, true, false, false, "POST", 0},
        {700, false, true, false, true, false, "POST", 0},
        {500, false, true, true, true, false, "POST", 0},
        {13020, false, false, true, false, true, "HEAD", 2},
        {1000, false, false, true, false, false, "PUT", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        IntConn conn;
        NetReports reports;
        ASSERT_TRUE(Open(conn, "127.0.0.1:1/x", c.flags, reports));
        EXPECT_EQ(conn.FullUrl(), "http://127.0.0.1:1/x");
        EXPECT_EQ(conn.PassiveFtp(), c.passive);
        EXPECT_EQ(conn.SmallReadChunks(), c.small);
        EXPECT_EQ(conn.SendCredentialHeaders(), c.credHeaders);
        EXPECT_EQ(conn.UseHttp10(), c.http10);
        EXPECT_EQ(conn.TrustedDomainCheck(), c.trusted);
        EXPECT_EQ(conn.Verb(), c.verb);
        EXPECT_EQ(conn.ProxyType(), c.proxy);
    }
}

TEST(IntConnOpenTest, UnopenableUrlsAndUnknownProxyFail) {
    NetReports reports;
    IntConn unsplittable;
    EXPECT_FALSE(Open(unsplittable, "http://:80/", 2210, reports));
    EXPECT_TRUE(reports.list.empty());
    IntConn remoteFile;
    EXPECT_FALSE(Open(remoteFile, "file://elsewhere/x", 2210, reports));
    ASSERT_FALSE(reports.list.empty());
    EXPECT_EQ(reports.list.back().first, MyNet_FILE_OpenFailed);
    IntConn badProxy;
    EXPECT_FALSE(Open(badProxy, "http://127.0.0.1:1/", 30, reports));
    EXPECT_TRUE(reports.Has(MyNet_InternetOpenFailed, "Unknown proxy type"));
}

// A file body has no terminator and no headers; a plain path works too, empty or missing.
TEST(IntConnLocalTest, FileUrlsAndPlainPaths) {
    test::TempDir dir;
    test::WriteFile(dir / "task one.xml", "<a/>");
    test::WriteFile(dir / "empty", "");
    NetReports reports;
    IntConn conn;
    ASSERT_TRUE(Open(conn, "file://" + (dir / "task%20one.xml").string(), 2210, reports));
    EXPECT_TRUE(conn.IsLocalFile());
    Response r;
    r.status = "keep";
    EXPECT_EQ(conn.ReadResponse(r.Out(), &NetReports::Callback), ResultCode::Success);
    EXPECT_EQ(r.length, 4u);
    EXPECT_EQ(r.body.size(), 4u);
    EXPECT_EQ(r.Text(), "<a/>");
    EXPECT_EQ(r.status, "keep");

    Response empty;
    EXPECT_EQ(test::Download((dir / "empty").string(), empty, 2210, reports), ResultCode::Success);
    EXPECT_EQ(empty.length, 0u);
    EXPECT_TRUE(empty.body.empty());
    Response missing;
    EXPECT_EQ(test::Download("/nonexistent/quillbox/file", missing, 2210, reports),
              ResultCode::Failed);
    EXPECT_EQ(reports.Count(MyNet_FILE_OpenFailed), 1);
}

TEST(IntConnCookieStepTest, CallbackCookieIsStoredForTheUrl) {
    NetReports reports;
    reports.cookieAnswer = "AppAccPar=token123";
    RunCookieStep("http://cookies.test.invalid/form", &reports, &NetReports::Callback);
    EXPECT_EQ(http::GetCookies("http://cookies.test.invalid/other", false), "AppAccPar=token123");
    EXPECT_EQ(http::GetCookies("http://elsewhere.test.invalid/", false), "");
}

}  // namespace
}  // namespace quillbox::net
