#include "platform/ui/scripted/scripted_user_interface.h"

#include <algorithm>
#include <latch>
#include <numeric>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gmock/gmock.h>

#include "test_support.h"

namespace quillbox::ui {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using json = nlohmann::json;

MessageBoxRequest YesNo(BoxAnswer defaultAnswer) {
    return {
        .icon = BoxIcon::Question, .buttons = BoxButtons::YesNo, .defaultAnswer = defaultAnswer};
}

class ScriptedUserInterfaceTest : public ::testing::Test {
  protected:
    ScriptedUserInterface Make(const std::string& answers) {
        test::WriteFile(answersPath_, answers);
        return ScriptedUserInterface(answersPath_, transcriptPath_);
    }

    // Every line must be valid JSON on its own.
    std::vector<json> Transcript() const {
        std::vector<json> lines;
        std::istringstream in(test::ReadFile(transcriptPath_));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(json::parse(line));
        }
        return lines;
    }

    std::vector<json> Column(const char* key) const {
        std::vector<json> values;
        for (const json& line : Transcript()) {
            values.push_back(line.value(key, json()));
        }
        return values;
    }

    test::TempDir dir_;
    std::filesystem::path answersPath_ = dir_ / "answers.json";
    std::filesystem::path transcriptPath_ = dir_ / "transcript.jsonl";
};

TEST_F(ScriptedUserInterfaceTest, AnswersAreUsedInOrderThenDefaultsFollow) {
    auto ui = Make(R"([{"dialog": "messagebox", "answer": "yes"},
                       {"dialog": "messagebox", "answer": "no"},
                       {"dialog": "messagebox", "answer": "yes"},
                       {"dialog": "messagebox"},
                       {"dialog": "messagebox", "answer": "cancel"}])");
    const MessageBoxRequest okCancel{.buttons = BoxButtons::OkCancel};

    EXPECT_EQ(ui.ShowMessageBox(YesNo(BoxAnswer::No)), BoxAnswer::Yes);
    EXPECT_EQ(ui.ShowMessageBox(YesNo(BoxAnswer::Yes)), BoxAnswer::No);
    // An answer the box does not offer, or none at all, is used up and reported.
    EXPECT_EQ(ui.ShowMessageBox(okCancel), BoxAnswer::Ok);
    EXPECT_EQ(ui.ShowMessageBox(okCancel), BoxAnswer::Ok);
    EXPECT_EQ(ui.ShowMessageBox(okCancel), BoxAnswer::Cancel);
    EXPECT_EQ(ui.ShowMessageBox(YesNo(BoxAnswer::No)), BoxAnswer::No);
    EXPECT_EQ(ui.ShowMessageBox({.text = "plain"}), BoxAnswer::Ok);

    EXPECT_THAT(Column("answer"), ElementsAre("yes", "no", "ok", "ok", "cancel", "no", "ok"));
    EXPECT_THAT(Column("scripted"), ElementsAre(true, true, false, false, true, false, false));
    const auto problems = Column("problem");
    EXPECT_THAT(problems[2].get<std::string>(), HasSubstr("\"yes\" is not a button"));
    EXPECT_TRUE(problems[4].is_null());
}

TEST_F(ScriptedUserInterfaceTest, AnswerForAnotherDialogWaitsForThatDialog) {
    auto ui = Make(R"([{"dialog": "pin", "answer": "ok", "pin": "1234"},
                       {"dialog": "messagebox", "answer": "ok"}])");
    const MessageBoxRequest box{.buttons = BoxButtons::OkCancel,
                                .defaultAnswer = BoxAnswer::Cancel};

    EXPECT_EQ(ui.ShowMessageBox(box), BoxAnswer::Cancel);
    EXPECT_TRUE(ui.NextAnswer("certificate").is_null());
    EXPECT_EQ(ui.NextAnswer("pin").value("pin", ""), "1234");
    EXPECT_EQ(ui.ShowMessageBox(box), BoxAnswer::Ok);
    EXPECT_EQ(ui.RemainingAnswers(), 0u);
    EXPECT_THAT(Column("scripted"), ElementsAre(false, true));
}

TEST_F(ScriptedUserInterfaceTest, TranscriptLineHoldsWhatAPersonWouldHaveSeen) {
    test::WriteFile(transcriptPath_, "{\"earlier\": \"run\"}\n");
    auto ui = Make(R"([{"dialog": "messagebox", "answer": "ok"}])");
    const std::string text = "Nepodařilo se vytvořit dokument XML.\nŘádek 2";

    ui.ShowMessageBox({.icon = BoxIcon::Error, .caption = "Chyba", .text = text});
    ui.ShowMessageBox(
        {.caption = "bad \xC3\x28", .text = "byte \xFF end", .buttonTexts = {.ok = "Ano"}});

    const auto lines = Transcript();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["earlier"], "run");  // appended, not replaced
    const std::string time = lines[1].value("time", "");
    EXPECT_TRUE(
        std::regex_match(time, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
        << time;
    const json expected = {{"time", time},
                           {"dialog", "messagebox"},
                           {"icon", "error"},
                           {"caption", "Chyba"},
                           {"texts", json::array({text})},
                           {"buttons", json::array({"ok"})},
                           {"default", "ok"},
                           {"answer", "ok"},
                           {"scripted", true}};
    EXPECT_EQ(lines[1], expected);
    // Text that is not UTF-8 must not cost the line.
    EXPECT_THAT(lines[2]["texts"][0].get<std::string>(), HasSubstr(" end"));
    EXPECT_EQ(lines[2]["buttonTexts"], json({{"ok", "Ano"}}));
    // Readable in the file: time and dialog first, Czech letters as UTF-8, not escapes.
    const std::string raw = test::ReadFile(transcriptPath_);
    EXPECT_THAT(raw, HasSubstr(R"({"time":")" + time + R"(","dialog":"messagebox",)"));
    EXPECT_THAT(raw, HasSubstr("Nepodařilo"));
}

// The scripted person types only where a person could and never writes a secret into the
// transcript.
TEST_F(ScriptedUserInterfaceTest, PinDialogAnswersInOrderAndNeverWritesThePin) {
    auto ui = Make(R"([{"dialog": "pin", "answer": "ok", "pin": "12"},
                       {"dialog": "pin", "answer": "ok", "pin": "24680"},
                       {"dialog": "pin", "answer": "cancel"}])");
    const PinDialogRequest request{.minLength = 4};
    // Too short for the token: used up, answered as a cancel.
    EXPECT_FALSE(ui.AskPin(request).confirmed);
    const PinDialogAnswer good = ui.AskPin(request);
    EXPECT_TRUE(good.confirmed);
    EXPECT_EQ(good.pin.view(), "24680");
    EXPECT_FALSE(ui.AskPin(request).confirmed);
    EXPECT_FALSE(ui.AskPin(request).confirmed);  // nothing left: default

    EXPECT_EQ(test::ReadFile(transcriptPath_).find("24680"), std::string::npos);
    EXPECT_THAT(Column("answer"), ElementsAre("cancel", "ok", "cancel", "cancel"));
    EXPECT_THAT(Column("scripted"), ElementsAre(true, true, true, false));
    EXPECT_FALSE(Column("problem")[0].is_null());
}

TEST_F(ScriptedUserInterfaceTest, LoginDialogTypesWhereAPersonCouldAndNeverWritesSecrets) {
    auto ui = Make(R"([{"dialog": "login", "password": "tajne", "code": "991"},
                       {"dialog": "login", "user": "Řehoře", "password": ""},
                       {"dialog": "login", "answer": "cancel", "password": "xyz"},
                       {"dialog": "login", "answer": "maybe"}])");
    LoginRequest request;
    request.serverLine = "The server box.example is asking for your user name and password.";
    request.password.masked = true;
    request.code.shown = false;  // a name-and-password login
    request.userName = "jana";
    request.passwordText = secret::SecretText("heslo");
    request.maxChars = 5;

    const LoginAnswer typed = ui.AskLogin(request);
    EXPECT_TRUE(typed.confirmed);
    EXPECT_EQ(typed.userName, "jana");  // left as it was
    EXPECT_EQ(typed.password.view(), "tajne");
    EXPECT_TRUE(typed.code.empty());  // hidden: the code was not typed
    const LoginAnswer cut = ui.AskLogin(request);
    EXPECT_EQ(cut.userName, "Řehoř");  // the field takes five characters
    EXPECT_TRUE(cut.password.empty());
    EXPECT_FALSE(ui.AskLogin(request).confirmed);
    EXPECT_FALSE(ui.AskLogin(request).confirmed);  // not an answer: cancelled
    EXPECT_FALSE(ui.AskLogin(request).confirmed);  // nothing left: the default

    const std::string raw = test::ReadFile(transcriptPath_);
    for (const char* secret : {"tajne", "heslo", "991", "xyz"}) {
        EXPECT_EQ(raw.find(secret), std::string::npos) << secret;
    }
    const auto lines = Transcript();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["texts"].size(), 1u);  // no server message, no line for it
    EXPECT_EQ(lines[0]["fields"]["password"]["text"], "*****");
    EXPECT_EQ(lines[0]["fields"]["code"],
              (json{{"text", ""}, {"shown", false}, {"enabled", true}}));
    EXPECT_THAT(lines[0].value("problem", ""), HasSubstr("code field"));
    EXPECT_EQ(lines[1]["fields"]["user"]["text"], "Řehoř");
    EXPECT_EQ(lines[1]["fields"]["password"]["text"], "");
    EXPECT_THAT(lines[1].value("problem", ""), HasSubstr("5th"));
    EXPECT_EQ(lines[2]["answer"], "cancel");
    EXPECT_EQ(lines[2]["fields"]["password"]["text"], "*****");  // the prefill stays
    EXPECT_FALSE(lines[2].contains("problem"));
    EXPECT_TRUE(lines[3].contains("problem"));
    EXPECT_EQ(lines[4]["scripted"], false);
}

TEST_F(ScriptedUserInterfaceTest, EveryAnswerGoesToExactlyOneOfManyThreads) {
    constexpr int kAnswers = 20000;
    json answers = json::array();
    for (int i = 0; i < kAnswers; ++i) {
        answers.push_back({{"dialog", "messagebox"}, {"n", i}});
    }
    auto ui = Make(answers.dump());

    std::vector<std::vector<int>> taken(8);
    std::latch start(static_cast<std::ptrdiff_t>(taken.size()));
    std::vector<std::thread> threads;
    for (auto& mine : taken) {
        threads.emplace_back([&ui, &mine, &start] {
            start.arrive_and_wait();
            for (json entry = ui.NextAnswer("messagebox"); !entry.is_null();
                 entry = ui.NextAnswer("messagebox")) {
                mine.push_back(entry["n"]);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    std::vector<int> all, expected(kAnswers);
    for (const auto& mine : taken) {
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(all, expected);
}

TEST_F(ScriptedUserInterfaceTest, UnusableAnswersFileIsRefusedWithItsName) {
    const struct {
        const char* content;  // nullptr: no file
        const char* reason;
    } cases[] = {
        {nullptr, "cannot read"},
        {"[{\"dialog\": \"messagebox\", ", "not valid JSON"},
        {R"({"dialog": "messagebox"})", "list"},
        {R"([{"dialog": "messagebox"}, "ok"])", "answer 2"},
        {R"([{"dialog": 7}])", "answer 1"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(answersPath_);
        if (c.content != nullptr) {
            test::WriteFile(answersPath_, c.content);
        }
        try {
            ScriptedUserInterface ui(answersPath_, transcriptPath_);
            ADD_FAILURE() << "accepted: " << (c.content ? c.content : "(missing)");
        } catch (const std::runtime_error& e) {
            EXPECT_THAT(e.what(), HasSubstr(answersPath_.string())) << c.reason;
            EXPECT_THAT(e.what(), HasSubstr(c.reason));
        }
    }
}

}  // namespace
}  // namespace quillbox::ui
