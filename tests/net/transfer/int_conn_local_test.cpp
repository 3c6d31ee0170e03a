#include <gtest/gtest.h>

#include "net/transfer/int_conn.h"
#include "net_test_reports.h"

namespace quillbox::net {
namespace {

using test::NetReports;
using test::Open;
using test::Response;

TEST(IntConnOpenTest, UnopenableUrlsAndUnknownProxyFail) {
    NetReports reports;
    IntConn unsplittable, remoteFile, badProxy;
    EXPECT_FALSE(Open(unsplittable, "http://:80/", 2210, reports));
    EXPECT_FALSE(Open(remoteFile, "file://elsewhere/x", 2210, reports));
    EXPECT_EQ(reports.Count(MyNet_FILE_OpenFailed), 1);
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
    EXPECT_EQ(std::string(r.body.begin(), r.body.end()), "<a/>");
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

}  // namespace
}  // namespace quillbox::net
