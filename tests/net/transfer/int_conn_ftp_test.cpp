// FTP downloads, passive and active, against vsftpd.
#include <gtest/gtest.h>

#include "net/servers/test_servers.h"
#include "net/transfer/int_conn.h"
#include "net_test_reports.h"

namespace quillbox::net {
namespace {

using test::NetReports;
using test::Response;

class IntConnFtpTest : public ::testing::TestWithParam<unsigned> {
  protected:
    static void SetUpTestSuite() { server_ = new test::FtpTestServer(); }
    static void TearDownTestSuite() { delete server_; }
    void SetUp() override {
        if (!server_->started())
            GTEST_SKIP() << "vsftpd did not start";
    }
    static test::FtpTestServer* server_;
    NetReports reports;
};

test::FtpTestServer* IntConnFtpTest::server_ = nullptr;

// Units digit 1: passive; 0: active.
INSTANTIATE_TEST_SUITE_P(Modes, IntConnFtpTest, ::testing::Values(2211u, 2210u),
                         [](const auto& info) {
                             return info.param == 2211u ? "Passive" : "Active";
                         });

TEST_P(IntConnFtpTest, DownloadsGetTheWholeFileOrFail) {
    std::string data(300000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 % 251);
    test::WriteFile(server_->root() / "get.bin", data);
    Response r;
    ASSERT_EQ(test::Download(server_->Url("get.bin"), r, GetParam(), reports), ResultCode::Success);
    EXPECT_EQ(r.length, data.size());
    ASSERT_EQ(r.body.size(), data.size() + 1);
    EXPECT_EQ(r.Text(), data);
    EXPECT_EQ(r.status, "");

    Response missing;
    EXPECT_EQ(test::Download(server_->Url("nothing-here.bin"), missing, GetParam(), reports),
              ResultCode::Failed);
    EXPECT_EQ(missing.length, 0u);
    EXPECT_EQ(reports.Count(MyNet_Error), 1);
}

}  // namespace
}  // namespace quillbox::net
