#include "net/transfer/status_report.h"

#include <gtest/gtest.h>

#include <regex>

namespace quillbox::net {
namespace {

TEST(StatusReportTest, LineEndsAfterParenthesisOrWithText) {
    EXPECT_EQ(FormatStatusLine(21, nullptr), "IntConn::MyNet_Download (21)");
    EXPECT_EQ(FormatStatusLine(21, "4096"), "IntConn::MyNet_Download (21) 4096");
    EXPECT_EQ(FormatStatusLine(50, "Maximum of requests exceeded"),
              "IntConn::MyNet_Error (50) Maximum of requests exceeded");
    EXPECT_EQ(FormatStatusLine(23, nullptr), "IntConn::MyNet_ConnectigFailed (23)");
    EXPECT_EQ(FormatStatusLine(52, ""), "IntConn::MyNet_WININETError (52) ");
}

TEST(StatusReportTest, UnknownCodeHasNoName) {
    EXPECT_EQ(FormatStatusLine(5, nullptr), "IntConn:: (5)");
    EXPECT_EQ(FormatStatusLine(-7, "x"), "IntConn:: (-7) x");
}

TEST(StatusReportTest, TimeLineHasLabelDateAndMilliseconds) {
    const std::regex shape(R"(Read start: \d{4}-\d{1,2}-\d{1,2} Time \d{1,2}:\d{2}:\d{2}\.\d{3})");
    EXPECT_TRUE(std::regex_match(TimeLine("Read start:"), shape)) << TimeLine("Read start:");
    EXPECT_EQ(TimeLine("").front(), ' ');
}

}  // namespace
}  // namespace quillbox::net
