#include <gtest/gtest.h>

#include <regex>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/sign_exception.h"
#include "core/utf.h"
#include "log_file.h"
#include "platform/system/system_info.h"
#include "recording_user_interface.h"
#include "test_support.h"

namespace quillbox {
namespace {

using test::RecordingUserInterface;
using test::ScopedEnv;
using test::TempDir;

std::string ReadLog(const std::filesystem::path& path) {
    EXPECT_EQ(test::ReadFile(path).size() % 2, 0u);
    return test::ReadLogFile(path);
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override { SetLanguage("en"); }
    void TearDown() override { ResetLanguageForTesting(); }

    TempDir temp;
    RecordingUserInterface ui;
};

TEST_F(LogTest, WithoutLogFileNothingIsWrittenButBoxesAreShown) {
    CGlobals globals(temp.path().string());
    globals.Log(LogLevel::Error, nullptr, "Broken %d", 7);
    EXPECT_FALSE(std::filesystem::exists(temp / "PenwrightA.log"));
    EXPECT_EQ(globals.GetLogFileInfo(), (temp / "PenwrightA.log").string() + ", not exists");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Broken 7");
    EXPECT_EQ(ui.boxes[0].icon, ui::BoxIcon::Error);
    EXPECT_EQ(ui.boxes[0].caption, "Quillbox Plug-in (32b) 1.31.0.81");
}

TEST_F(LogTest, EntriesAreTwoUtf16LinesWithTimestamp) {
    test::WriteFile(temp / "PenwrightA.log", "");
    CGlobals globals(temp.path().string());
    EXPECT_EQ(globals.GetLogFileInfo(), (temp / "PenwrightA.log").string() + ", exists");
    globals.Log(LogLevel::File, nullptr, "Url: %s", "https://example.test/ř");
    globals.Log(LogLevel::File, nullptr, "second");

    std::string log = ReadLog(temp / "PenwrightA.log");
    std::regex entry(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3}\nUrl: https://example.test/ř\n)"
                     R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3}\nsecond\n)");
    EXPECT_TRUE(std::regex_match(log, entry)) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(LogTest, ExceptionLinesGoToBoxAndFileDifferently) {
    test::WriteFile(temp / "PenwrightA.log", "");
    CGlobals globals(temp.path().string());
    CSignException both(-9, "", true, ENOENT);
    globals.LogText(LogLevel::Error, &both, "Error");

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Quillbox Plug-in (32b) 1.31.0.81: Error");
    EXPECT_EQ(ui.boxes[0].text,
              "Could not acquire certificate private key (-9)\n\nNo such file or directory (2)");
    std::string log = ReadLog(temp / "PenwrightA.log");
    EXPECT_NE(log.find("\nError: Could not acquire certificate private key (-9)\t"
                       "No such file or directory (2)\n"),
              std::string::npos)
        << log;
}

TEST_F(LogTest, ExceptionWithOnlyOneLineAndLevelZeroNeverShowsABox) {
    test::WriteFile(temp / "PenwrightA.log", "");
    CGlobals globals(temp.path().string());
    CSignException systemOnly(-1, "", true, EACCES);  // "Unknown error" yields to the system
    globals.LogText(LogLevel::File, &systemOnly, "quiet");
    EXPECT_TRUE(ui.boxes.empty());
    globals.LogText(LogLevel::Warning, &systemOnly, "shown");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].icon, ui::BoxIcon::Warning);
    EXPECT_EQ(ui.boxes[0].text, "Permission denied (13)");
    std::string log = ReadLog(temp / "PenwrightA.log");
    EXPECT_NE(log.find("\nquiet: Permission denied (13)\n"), std::string::npos) << log;
}

TEST_F(LogTest, LongMessagesAreCutWithoutSplittingCharacters) {
    test::WriteFile(temp / "PenwrightA.log", "");
    CGlobals globals(temp.path().string());
    std::string longText;
    for (int i = 0; i < 3000; ++i) {
        longText += "ž";  // one UTF-16 unit, two UTF-8 bytes
    }
    globals.LogText(LogLevel::Error, nullptr, longText + longText);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(Utf8ToUtf16(ui.boxes[0].text).size(), 1023u);
    std::string log = ReadLog(temp / "PenwrightA.log");
    std::string message = log.substr(log.find('\n') + 1);
    EXPECT_EQ(Utf8ToUtf16(message).size(), 4095u + 1u);  // the cut text and its line feed
}

TEST_F(LogTest, EmptyAndInvalidTextsStillMakeWholeEntries) {
    test::WriteFile(temp / "PenwrightA.log", "");
    CGlobals globals(temp.path().string());
    globals.LogText(LogLevel::File, nullptr, "");
    // A page in another encoding: nothing after the bad byte may be lost.
    globals.LogText(LogLevel::File, nullptr, "bad \xC3( tail");
    std::string log = ReadLog(temp / "PenwrightA.log");
    std::regex emptyEntry(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3}\n\n[^]*)");
    EXPECT_TRUE(std::regex_match(log, emptyEntry)) << log;
    EXPECT_NE(log.find("\nbad \xEF\xBF\xBD( tail\n"), std::string::npos) << log;
}

TEST(TemporaryFolderTest, FollowsTmpTempTmpdirWithLengthRule) {
    ScopedEnv tmp("TMP", std::string(260, 'x'));
    ScopedEnv temp("TEMP", "/from-temp");
    ScopedEnv tmpdir("TMPDIR", "/from-tmpdir");
    EXPECT_EQ(sys::TemporaryFolder(), "/from-temp");
    {
        ScopedEnv noTemp("TEMP", "");
        EXPECT_EQ(sys::TemporaryFolder(), "/from-tmpdir");
        ScopedEnv noTmpdir("TMPDIR", std::nullopt);
        EXPECT_EQ(sys::TemporaryFolder(), "/tmp");
    }
    ScopedEnv shortTmp("TMP", std::string(259, 'y'));
    EXPECT_EQ(sys::TemporaryFolder(), std::string(259, 'y'));
}

}  // namespace
}  // namespace quillbox
