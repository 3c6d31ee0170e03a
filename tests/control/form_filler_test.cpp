#include "control/form_filler.h"

#include <gtest/gtest.h>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "log_file.h"
#include "test_support.h"

namespace quillbox::control {
namespace {

class FormFillerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteFile(temp / "PenwrightA.log", "");
        globals = std::make_unique<CGlobals>(temp.path().string());
        CGlobals::SetInstanceForTesting(globals.get());
        ResetLanguageForTesting();
    }
    void TearDown() override {
        CGlobals::SetInstanceForTesting(nullptr);
        ResetLanguageForTesting();
    }
    std::string Log() { return test::ReadLogFile(temp / "PenwrightA.log"); }

    test::TempDir temp;
    std::unique_ptr<CGlobals> globals;
};

// The answers to the host's calls are checked through the real host in host_protocol_test.
TEST_F(FormFillerTest, LogsItsConstructionAndCallsAndReportsTheLogFile) {
    std::string text;
    {
        CFormFiller control;
        std::int16_t result = -1;
        EXPECT_EQ(control.SetLanguage("de", result), 0);  // refused, but logged
        EXPECT_EQ(result, 0);
        EXPECT_EQ(control.SetDebug(-1), 0);
        EXPECT_TRUE(globals->DebugFlag());
        EXPECT_EQ(control.SetDebug(0), 0);
        EXPECT_FALSE(globals->DebugFlag());
        EXPECT_EQ(control.GetLogFileInfo(text), 0);
        EXPECT_EQ(text, "Log File: " + (temp / "PenwrightA.log").string() + ", exists");
    }
    const std::string log = Log();
    for (const char* line :
         {"========== Quillbox Plug-in (32b) 1.31.0.81 ==========", "Initialization (ms): ",
          "Set language: de", "Set debug: true", "Set debug: false"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
    }
    // Logging off: no log file, or no temporary folder at all.
    for (const std::string& folder : {(temp / "elsewhere").string(), std::string()}) {
        CGlobals off(folder);
        CGlobals::SetInstanceForTesting(&off);
        CFormFiller control;
        EXPECT_EQ(control.GetLogFileInfo(text), 0);
        EXPECT_EQ(text, "Log File: " + (folder.empty() ? "" : folder + "/PenwrightA.log") +
                            ", not exists");
        CGlobals::SetInstanceForTesting(globals.get());
    }
}

}  // namespace
}  // namespace quillbox::control
