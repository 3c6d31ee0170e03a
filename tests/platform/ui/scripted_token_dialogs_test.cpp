// The scripted person at the PIN and login dialogs: types only where a person could and
// never writes a secret into the transcript.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/ui/scripted/scripted_user_interface.h"
#include "test_support.h"

namespace quillbox::ui {
namespace {

std::vector<nlohmann::json> Lines(const std::filesystem::path& transcript) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(test::ReadFile(transcript));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

PinDialogRequest PinRequest() {
    PinDialogRequest request;
    request.caption = "Token PIN";
    request.tokenLabel = "Card A";
    request.prompt = "PIN for the token \"Card A\":";
    request.certificate = "Certificate: Jan Novák";
    request.warnings = {"Last attempt."};
    request.minLength = 4;
    return request;
}

TEST(ScriptedPinDialog, AnswersInOrderAndNeverWritesThePin) {
    test::TempDir temp;
    test::WriteFile(temp / "answers.json",
                    R"([{"dialog": "pin", "answer": "ok", "pin": "12"},
                        {"dialog": "pin", "answer": "ok", "pin": "24680"},
                        {"dialog": "pin", "answer": "cancel"}])");
    ScriptedUserInterface ui(temp / "answers.json", temp / "transcript.jsonl");
    // Too short for the token: used up, answered as a cancel.
    EXPECT_FALSE(ui.AskPin(PinRequest()).confirmed);
    const PinDialogAnswer good = ui.AskPin(PinRequest());
    EXPECT_TRUE(good.confirmed);
    EXPECT_EQ(good.pin.view(), "24680");
    EXPECT_FALSE(ui.AskPin(PinRequest()).confirmed);
    EXPECT_FALSE(ui.AskPin(PinRequest()).confirmed);  // nothing left: default

    const std::string transcript = test::ReadFile(temp / "transcript.jsonl");
    EXPECT_EQ(transcript.find("24680"), std::string::npos);
    const auto lines = Lines(temp / "transcript.jsonl");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["dialog"], "pin");
    EXPECT_EQ(lines[0]["token"], "Card A");
    EXPECT_EQ(lines[0]["certificate"], "Certificate: Jan Novák");
    EXPECT_EQ(lines[0]["warnings"], nlohmann::json::array({"Last attempt."}));
    EXPECT_TRUE(lines[0].contains("problem"));
    EXPECT_EQ(lines[1]["answer"], "ok");
    EXPECT_EQ(lines[2]["answer"], "cancel");
    EXPECT_EQ(lines[3]["scripted"], false);
}

LoginRequest LoginRequestFor() {
    LoginRequest request;
    request.caption = "Login";
    request.serverLine = "The server box.example is asking for your user name and password.";
    request.user.cue = "User name";
    request.password.masked = true;
    request.code.shown = false;  // a name-and-password login
    request.userName = "jana";
    request.passwordText = secret::SecretText("heslo");
    request.maxChars = 5;
    request.okText = "OK";
    return request;
}

TEST(ScriptedLoginDialog, TypesWhereAPersonCouldAndNeverWritesSecrets) {
    test::TempDir temp;
    test::WriteFile(temp / "answers.json",
                    R"([{"dialog": "login", "password": "tajne", "code": "991"},
                        {"dialog": "login", "user": "Řehoře", "password": ""},
                        {"dialog": "login", "answer": "cancel", "password": "xyz"},
                        {"dialog": "login", "answer": "maybe"}])");
    ScriptedUserInterface ui(temp / "answers.json", temp / "transcript.jsonl");

    const LoginAnswer typed = ui.AskLogin(LoginRequestFor());
    EXPECT_TRUE(typed.confirmed);
    EXPECT_EQ(typed.userName, "jana");  // left as it was
    EXPECT_EQ(typed.password.view(), "tajne");
    EXPECT_TRUE(typed.code.empty());  // hidden: the code was not typed

    const LoginAnswer cut = ui.AskLogin(LoginRequestFor());
    EXPECT_EQ(cut.userName, "Řehoř");  // the field takes five characters
    EXPECT_TRUE(cut.password.empty());

    EXPECT_FALSE(ui.AskLogin(LoginRequestFor()).confirmed);
    EXPECT_FALSE(ui.AskLogin(LoginRequestFor()).confirmed);  // not an answer: cancelled
    EXPECT_FALSE(ui.AskLogin(LoginRequestFor()).confirmed);  // nothing left: the default

    const std::string transcript = test::ReadFile(temp / "transcript.jsonl");
    for (const char* secret : {"tajne", "heslo", "991", "xyz"}) {
        EXPECT_EQ(transcript.find(secret), std::string::npos) << secret;
    }
    const auto lines = Lines(temp / "transcript.jsonl");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["dialog"], "login");
    EXPECT_EQ(lines[0]["texts"].size(), 1u);  // no server message, no line for it
    EXPECT_EQ(lines[0]["fields"]["password"]["text"], "*****");
    EXPECT_EQ(lines[0]["fields"]["code"],
              (nlohmann::json{{"text", ""}, {"shown", false}, {"enabled", true}}));
    EXPECT_NE(lines[0].value("problem", "").find("code field"), std::string::npos);
    EXPECT_EQ(lines[1]["fields"]["user"]["text"], "Řehoř");
    EXPECT_EQ(lines[1]["fields"]["password"]["text"], "");
    EXPECT_NE(lines[1].value("problem", "").find("5th"), std::string::npos);
    EXPECT_EQ(lines[2]["answer"], "cancel");
    EXPECT_EQ(lines[2]["fields"]["password"]["text"], "*****");  // the prefill stays
    EXPECT_FALSE(lines[2].contains("problem"));
    EXPECT_TRUE(lines[3].contains("problem"));
    EXPECT_EQ(lines[4]["scripted"], false);
}

}  // namespace
}  // namespace quillbox::ui
