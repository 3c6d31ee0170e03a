#include <gtest/gtest.h>

#include "control/cli_options.h"
#include "test_support.h"

namespace quillbox {
namespace {

using cli::Command;
using cli::ParseArguments;

// The end-to-end runs use --document, --lang, --ui and --transcript.
TEST(CliOptionsTest, ExecTakesMoreTargetsAndTheDebugSwitch) {
    auto parsed = ParseArguments({"exec", "task.xml", "--debug", "--ui", "console", "next.xml"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->command, Command::Exec);
    EXPECT_EQ(parsed.options->target, "task.xml");
    EXPECT_EQ(parsed.options->moreTargets, std::vector<std::string>{"next.xml"});
    EXPECT_TRUE(parsed.options->debug);
    EXPECT_FALSE(parsed.options->document);
}

TEST(CliOptionsTest, MistakesAreUsageErrors) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"sign"},
        {"exec"},
        {"exec", "a", "--verbose"},
        {"exec", "a", "--lang", "de"},
        {"exec", "a", "--lang"},
        {"exec", "a", "--ui", "gtk"},
        {"exec", "a", "--ui", "script:"},
        {"version", "extra"},
    };
    for (const auto& args : wrong) {
        auto parsed = ParseArguments(args);
        EXPECT_FALSE(parsed.options) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(parsed.error.empty());
    }
}

// Runs the real front end and returns its exit status and standard output.
std::pair<int, std::string> RunQuillbox(const std::string& arguments) {
    return test::RunCapturingOutput(std::string(QUILLBOX_BINARY_DIR) + "/src/control/quillbox " +
                                    arguments + " 2>/dev/null");
}

class CliRunTest : public ::testing::Test {
  protected:
    test::TempDir temp;
    test::ScopedEnv tmp{"TMP", temp.path().string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
};

// A document that is not well-formed: 1; no task to run or a usage error: 2.
TEST_F(CliRunTest, ExitStatusIsThePipelineStatus) {
    test::WriteFile(temp / "broken.xml", "<getplugininfo>");
    EXPECT_EQ(RunQuillbox("exec --ui console --document " + (temp / "broken.xml").string()).first,
              1);
    EXPECT_EQ(RunQuillbox("exec --document " + (temp / "missing.xml").string()).first, 2);
    EXPECT_EQ(RunQuillbox("exec --bogus x").first, 2);
}

// Nothing listens on the discard port: a failed download.
TEST_F(CliRunTest, ScriptedPersonSeesTheErrorBoxInTheChosenLanguage) {
    test::WriteFile(temp / "answers.json", R"([{"dialog": "messagebox", "answer": "ok"}])");
    auto [status, out] =
        RunQuillbox("exec --lang cs --ui script:" + (temp / "answers.json").string() +
                    " --transcript " + (temp / "t.jsonl").string() + " http://127.0.0.1:9/task");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, "");
    std::string transcript = test::ReadFile(temp / "t.jsonl");
    EXPECT_NE(transcript.find("\"messagebox\""), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("Chyba komunikace se serverem"), std::string::npos) << transcript;
}

}  // namespace
}  // namespace quillbox
