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

TEST_F(FormFillerTest, SetLanguageAcceptsOnlyKnownCodes) {
    CFormFiller control;
    struct Case {
        const char* code;
        std::int16_t result;
        std::uint16_t languageAfter;
    };
    // "de" is refused and leaves the language chosen before it.
    for (const Case& c : {Case{"sk", 1, kLanguageSlovak}, Case{"de", 0, kLanguageSlovak},
                          Case{"", 0, kLanguageSlovak}, Case{"cs", 1, kLanguageCzech}}) {
        std::int16_t result = -1;
        EXPECT_EQ(control.SetLanguage(c.code, result), 0) << c.code;
        EXPECT_EQ(result, c.result) << c.code;
        EXPECT_EQ(MessageLanguage(), c.languageAfter) << c.code;
    }
    EXPECT_NE(Log().find("Set language: de"), std::string::npos);
}

TEST_F(FormFillerTest, FailedDownloadIsStatusTwoWithEmptyResponse) {
    CFormFiller control;
    std::string response = "left from before";
    // Nothing listens on the discard port.
    EXPECT_EQ(control.ExecuteUrl("http://127.0.0.1:9/task", response), 2);
    EXPECT_EQ(response, "");
}

TEST_F(FormFillerTest, LogsItsConstructionAndSetDebugAndReportsLogFileAndVersion) {
    std::string text;
    {
        CFormFiller control;
        EXPECT_EQ(control.SetDebug(-1), 0);
        EXPECT_TRUE(globals->DebugFlag());
        EXPECT_EQ(control.SetDebug(0), 0);
        EXPECT_FALSE(globals->DebugFlag());
        EXPECT_EQ(control.GetLogFileInfo(text), 0);
        EXPECT_EQ(text, "Log File: " + (temp / "PenwrightA.log").string() + ", exists");
        EXPECT_EQ(control.GetVersion(text), 0);
        EXPECT_EQ(text, "1.31.0.81");
    }
    const std::string log = Log();
    for (const char* line : {"========== Quillbox Plug-in (32b) 1.31.0.81 ==========",
                             "Initialization (ms): ", "Set debug: true", "Set debug: false"}) {
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
