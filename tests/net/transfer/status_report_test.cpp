#include "net/transfer/status_report.h"

#include <gtest/gtest.h>

#include <regex>

namespace quillbox::net {
namespace {

TEST(StatusReportTest, LineHasNameCodeAndOptionalText) {
    EXPECT_EQ(FormatStatusLine(21, nullptr), "IntConn::MyNet_Download (21)");
    EXPECT_EQ(FormatStatusLine(52, ""), "IntConn::MyNet_WININETError (52) ");
    EXPECT_EQ(FormatStatusLine(-7, "x"), "IntConn:: (-7) x");
    const std::regex shape(R"(Read start: \d{4}-\d{1,2}-\d{1,2} Time \d{1,2}:\d{2}:\d{2}\.\d{3})");
    EXPECT_TRUE(std::regex_match(TimeLine("Read start:"), shape)) << TimeLine("Read start:");
}

}  // namespace
}  // namespace quillbox::net
