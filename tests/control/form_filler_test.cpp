#include "control/form_filler.h"

#include <gtest/gtest.h>

#include "core/globals.h"
#include "test_support.h"

namespace quillbox::control {
namespace {

// The answers to the host's calls are checked through the real host in host_protocol_test.
TEST(FormFillerTest, DebugSwitchAndLogFileInfo) {
    test::TempDir temp;
    test::WriteFile(temp / "PenwrightA.log", "");
    CGlobals globals(temp.path().string());
    CGlobals off{std::string()};  // no temporary folder at all: logging is off
    CGlobals::SetInstanceForTesting(&globals);
    {
        CFormFiller control;
        EXPECT_EQ(control.SetDebug(-1), 0);
        EXPECT_TRUE(globals.DebugFlag());
        EXPECT_EQ(control.SetDebug(0), 0);
        EXPECT_FALSE(globals.DebugFlag());
        std::string text;
        EXPECT_EQ(control.GetLogFileInfo(text), 0);
        EXPECT_EQ(text, "Log File: " + (temp / "PenwrightA.log").string() + ", exists");
        CGlobals::SetInstanceForTesting(&off);
        EXPECT_EQ(control.GetLogFileInfo(text), 0);
        EXPECT_EQ(text, "Log File: , not exists");
        CGlobals::SetInstanceForTesting(&globals);
    }
    CGlobals::SetInstanceForTesting(nullptr);
}

}  // namespace
}  // namespace quillbox::control
