#include <gmock/gmock.h>
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

PinDialogRequest Request() {
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
    EXPECT_FALSE(ui.AskPin(Request()).confirmed);
    const PinDialogAnswer good = ui.AskPin(Request());
    EXPECT_TRUE(good.confirmed);
    EXPECT_EQ(good.pin.view(), "24680");
    EXPECT_FALSE(ui.AskPin(Request()).confirmed);
    EXPECT_FALSE(ui.AskPin(Request()).confirmed);  // nothing left: default

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

}  // namespace
}  // namespace quillbox::ui
