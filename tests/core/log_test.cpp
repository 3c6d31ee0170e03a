#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <regex>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/sign_exception.h"
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

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// Text from a page, a server, a token or the system in an entry. fileLines is the entry
// after its timestamp line, with later timestamps as "T"; boxText is empty when no box shows.
struct LoggedText {
    const char* what;
    void (*log)(CGlobals& globals);
    std::string fileLines;
    std::string boxText;
};

const LoggedText kLoggedTexts[] = {
    {"entries follow each other",
     [](CGlobals& g) {
         g.Log(LogLevel::File, nullptr, "Url: %s", "https://example.test/ř");
         g.Log(LogLevel::File, nullptr, "second");
     },
     "Url: https://example.test/ř\nT\nsecond", ""},
    {"empty text", [](CGlobals& g) { g.LogText(LogLevel::File, nullptr, ""); }, "", ""},
    // A page in another encoding: nothing after the bad byte may be lost.
    {"invalid UTF-8", [](CGlobals& g) { g.LogText(LogLevel::File, nullptr, "bad \xC3( tail"); },
     "bad \xEF\xBF\xBD( tail", ""},
    {"cut without splitting characters",  // "ž" is one UTF-16 unit
     [](CGlobals& g) { g.LogText(LogLevel::Error, nullptr, Repeat("ž", 6000)); }, Repeat("ž", 4095),
     Repeat("ž", 1023)},
    // "Unknown error" yields to the system's text; level File never shows a box.
    {"system text only",
     [](CGlobals& g) {
         CSignException systemOnly(-1, "", true, EACCES);
         g.LogText(LogLevel::File, &systemOnly, "quiet");
         g.LogText(LogLevel::Warning, &systemOnly, "shown");
     },
     "quiet: Permission denied (13)\nT\nshown: Permission denied (13)", "Permission denied (13)"},
    {"URL with a forged entry",
     [](CGlobals& g) {
         g.Log(LogLevel::File, nullptr, "Url: %s",
               "https://a.test/\r\n2024/01/01 00:00:00:000\nforged");
     },
     "Url: https://a.test/\\r\\n2024/01/01 00:00:00:000\\nforged", ""},
    {"other line ends; tabs stay",
     [](CGlobals& g) {
         g.Log(LogLevel::File, nullptr, "H: %s", "a\vb\fc\x1b d\u0085e\u2028f\u2029g\th\x7f");
     },
     "H: a\\x0bb\\x0cc\\x1b d\\u0085e\\u2028f\\u2029g\th\\x7f", ""},
    {"character argument", [](CGlobals& g) { g.Log(LogLevel::File, nullptr, "[%c]", '\n'); },
     "[\\n]", ""},
    {"other conversions unchanged",
     [](CGlobals& g) {
         g.Log(LogLevel::File, nullptr, "%5.2f|%-4d|%#x|%zu|%lld|%%|%*.*s|%hhu|%.0s", 3.14159, 7,
               255, std::size_t{12}, -5LL, 6, 2, "ab\ncd", 300, "gone");
     },
     " 3.14|7   |0xff|12|-5|%|    ab|44|", ""},
    {"box keeps the server's lines",
     [](CGlobals& g) { g.Log(LogLevel::Error, nullptr, "%s", "HTTP 500\r\nServer: x"); },
     "HTTP 500\\r\\nServer: x", "HTTP 500\r\nServer: x"},
    {"formatted elsewhere",
     [](CGlobals& g) { g.LogText(LogLevel::Warning, nullptr, "<html>\n<body/>"); },
     "<html>\\n<body/>", "<html>\n<body/>"},
    {"exception texts",
     [](CGlobals& g) {
         CSignException both(-9, "token\nlabel", true, ENOENT);
         g.LogText(LogLevel::Error, &both, "Error");
     },
     "Error: token\\nlabel (-9)\tNo such file or directory (2)",
     "token\nlabel (-9)\n\nNo such file or directory (2)"},
};

TEST_F(LogTest, EntriesAreATimestampLineAndOneLineOfText) {
    const std::regex timestamp(R"((^|\n)\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3}\n)");
    for (const LoggedText& text : kLoggedTexts) {
        SCOPED_TRACE(text.what);
        ui.boxes.clear();
        TempDir dir;
        test::WriteFile(dir / "PenwrightA.log", "");
        CGlobals globals(dir.path().string());
        EXPECT_EQ(globals.GetLogFileInfo(), (dir / "PenwrightA.log").string() + ", exists");
        text.log(globals);

        EXPECT_EQ(std::regex_replace(ReadLog(dir / "PenwrightA.log"), timestamp, "$1T\n"),
                  "T\n" + text.fileLines + "\n");
        if (text.boxText.empty()) {
            EXPECT_TRUE(ui.boxes.empty());
        } else {
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].text, text.boxText);
        }
    }
}

// What another local user could leave at the log's path in a shared temporary folder.
// "target" is one of the user's own files; every regular file involved holds "keep".
struct PlantedLog {
    const char* what;
    bool givesFileAway;  // needs root
    // Returns a descriptor the case holds open until it ends, or -1.
    int (*plant)(const std::filesystem::path& log, const std::filesystem::path& target);
};

void PrintTo(const PlantedLog& planted, std::ostream* out) {
    *out << planted.what;
}

// A copy of target at log; no descriptor to hold.
int CopyWithMode(const std::filesystem::path& log, const std::filesystem::path& target,
                 mode_t mode) {
    std::filesystem::copy_file(target, log);
    EXPECT_EQ(chmod(log.c_str(), mode), 0);
    return -1;
}

const PlantedLog kPlantedLogs[] = {
    {"SymlinkToOwnFile", false,
     [](const auto& log, const auto& target) {
         std::filesystem::create_symlink(target, log);
         return -1;
     }},
    {"HardLinkToOwnFile", false,
     [](const auto& log, const auto& target) {
         std::filesystem::create_hard_link(target, log);
         return -1;
     }},
    {"OtherUsersFile", true,
     [](const auto& log, const auto& target) {
         CopyWithMode(log, target, 0600);
         EXPECT_EQ(chown(log.c_str(), 65534, 65534), 0);
         return -1;
     }},
    {"GroupWritable", false,
     [](const auto& log, const auto& target) { return CopyWithMode(log, target, 0620); }},
    {"WorldWritable", false,
     [](const auto& log, const auto& target) { return CopyWithMode(log, target, 0602); }},
    {"FifoWithoutReader", false,
     [](const auto& log, const auto&) {
         EXPECT_EQ(mkfifo(log.c_str(), 0600), 0);
         return -1;
     }},
    {"FifoWithReader", false,
     [](const auto& log, const auto&) {
         EXPECT_EQ(mkfifo(log.c_str(), 0600), 0);
         return open(log.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
     }},
};

class PlantedLogTest : public ::testing::TestWithParam<PlantedLog> {};

TEST_P(PlantedLogTest, LeavesLoggingOffAndTheFilesAlone) {
    if (GetParam().givesFileAway && geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    RecordingUserInterface ui;
    TempDir dir;
    const auto log = dir / "PenwrightA.log";
    const auto target = dir / "target";
    test::WriteFile(target, "keep");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    const int reader = GetParam().plant(log, target);

    // A start that blocks on the path fails here instead of hanging the suite; a reader
    // and writer at once releases an open in either direction.
    auto starting = std::async(std::launch::async,
                               [&] { return std::make_unique<CGlobals>(dir.path().string()); });
    int release = -1;
    if (starting.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        release = open(log.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        ADD_FAILURE() << "opening the log blocked";
    }
    std::unique_ptr<CGlobals> globals = starting.get();
    globals->Log(LogLevel::File, nullptr, "entry %d", 1);

    EXPECT_FALSE(globals->LogFileExisted());
    EXPECT_EQ(globals->GetLogFileInfo(), log.string() + ", not exists");
    EXPECT_EQ(test::ReadFile(target), "keep");
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(log))) {
        EXPECT_EQ(test::ReadFile(log), "keep");
    }
    if (reader >= 0) {
        char byte;
        EXPECT_LE(read(reader, &byte, 1), 0);
        close(reader);
    }
    if (release >= 0) {
        close(release);
    }
}

INSTANTIATE_TEST_SUITE_P(SharedTemporaryFolder, PlantedLogTest, ::testing::ValuesIn(kPlantedLogs),
                         [](const auto& info) { return info.param.what; });

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
