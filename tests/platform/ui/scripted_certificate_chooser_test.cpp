// The certificate dialog driven from a script: what each action does to the dialog and
// what the transcript tells a reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "fake_certificate_chooser.h"
#include "platform/ui/scripted/scripted_user_interface.h"
#include "test_support.h"

namespace quillbox::ui {
namespace {

// Runs the chooser against the actions (nullptr: no answers file at all) and returns
// the transcript's only line.
nlohmann::json Play(const char* actions, test::FakeCertificateChooser& chooser) {
    test::TempDir temp;
    std::filesystem::path answers;
    if (actions != nullptr) {
        answers = temp / "answers.json";
        test::WriteFile(answers,
                        std::string(R"([{"dialog": "certificates", "actions": )") + actions + "}]");
    }
    ScriptedUserInterface ui(answers, temp / "transcript.jsonl");
    ui.RunCertificateChooser(chooser);
    std::istringstream in(test::ReadFile(temp / "transcript.jsonl"));
    std::string first;
    std::string more;
    std::getline(in, first);
    EXPECT_FALSE(std::getline(in, more)) << "one line per dialog";
    return nlohmann::json::parse(first);
}

TEST(ScriptedCertificateChooser, ConfirmsOnlyTheRowTheScriptMeant) {
    struct Case {
        const char* actions;
        const char* log;       // what the dialog was told
        const char* answer;    // in the transcript
        bool problem = false;  // the script did not get what it asked for
        const char* remembered = "ZmFrZS1pZC0z";
        int failingFill = 0;
        bool previewPage = true;
    };
    const Case cases[] = {
        {R"([{"select": {"id": "AAECAwQFBgcICQoLDA0ODxAREhM="}}, {"confirm": "button"}])",
         "open, select 1, confirm", "ok"},
        {R"([{"select": {"name": "Jan Novák"}}, {"confirm": "doubleclick"}])",
         "open, select 0, doubleclick 0", "ok"},
        {R"([{"select": "preselected"}, {"confirm": "button"}])", "open, select 2, confirm", "ok"},
        // The second "Jan Novák" is listed only with every certificate shown.
        {R"([{"showall": true}, {"select": {"name": "Jan Novák", "id": "ZmFrZS1pZC01"}},
            {"confirm": "button"}])",
         "open, showall 1, select 1, confirm", "ok"},
        // Ids are case-sensitive; a name not listed; unknown keys and actions.
        {R"([{"select": {"id": "3Q2+7W=="}}, {"confirm": "button"}])", "open, cancel", "cancel",
         true},
        {R"([{"select": {"name": "Zuzana Čierna"}}, {"confirm": "button"}])", "open, cancel",
         "cancel", true},
        {R"([{"select": {"subject": "Jan Novák"}}, {"confirm": "button"}])", "open, cancel",
         "cancel", true},
        {R"([{"sign": true}, {"confirm": "button"}])", "open, cancel", "cancel", true},
        {R"({"confirm": "button"})", "open, cancel", "cancel", true},
        // Nothing preselected: neither "preselected" nor the buttons can confirm.
        {R"([{"select": "preselected"}, {"confirm": "button"}])", "open, cancel", "cancel", true,
         "gone"},
        {R"([{"confirm": "doubleclick"}])", "open, cancel", "cancel", true, "gone"},
        {R"([{"view": true}])", "open, cancel", "cancel", true, "gone"},
        {R"([{"preview": true}])", "open, cancel", "cancel", true, "gone", 0, false},
        // Actions that run out without a decision cancel.
        {R"([{"select": "preselected"}])", "open, select 2, cancel", "cancel", true},
        // Nothing after the dialog finished is done.
        {R"([{"cancel": true}, {"select": "preselected"}, {"confirm": "button"}])", "open, cancel",
         "cancel"},
        // A malformed filter ends the dialog at opening or at a refill: no cancel.
        {R"([{"select": "preselected"}])", "open", "closed", false, "ZmFrZS1pZC0z", 1},
        {R"([{"showall": true}, {"confirm": "button"}])", "open, showall 1", "closed", false,
         "ZmFrZS1pZC0z", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.actions);
        test::FakeCertificateChooser chooser = test::SampleChooser();
        chooser.rememberedId = c.remembered;
        chooser.failingFill = c.failingFill;
        chooser.previewPage = c.previewPage;
        const nlohmann::json line = Play(c.actions, chooser);
        EXPECT_EQ(chooser.Log(), c.log);
        EXPECT_TRUE(chooser.Finished());
        EXPECT_EQ(chooser.confirmed, std::string(c.answer) == "ok");
        EXPECT_EQ(line["answer"], c.answer);
        EXPECT_EQ(line["scripted"], true);
        EXPECT_EQ(line.contains("problem"), c.problem);
    }
}

TEST(ScriptedCertificateChooser, WithoutAnEntryTheRowsAreShownAndTheDialogCancelled) {
    for (const char* script : {static_cast<const char*>(nullptr), "[]"}) {
        test::FakeCertificateChooser chooser = test::SampleChooser();
        const nlohmann::json line = Play(script, chooser);
        EXPECT_EQ(chooser.Log(), "open, cancel");
        EXPECT_EQ(line["answer"], "cancel");
        EXPECT_EQ(line["rows"].size(), 3u);
        EXPECT_EQ(line["scripted"], script != nullptr);
    }
}

TEST(ScriptedCertificateChooser, TranscriptShowsTextsRowsActionsAndPreview) {
    test::FakeCertificateChooser chooser = test::SampleChooser();
    // 2000 bytes in, a cut would fall inside a two-byte "š".
    std::string preview(1801, 'x');
    for (int i = 0; i < 200; ++i) {
        preview += "š";
    }
    chooser.previews = {std::nullopt, preview + std::string(500, 'y')};
    const nlohmann::json line = Play(R"([{"preview": true}, {"preview": true},
        {"showall": true}, {"showall": true}, {"select": {"name": "Zuzana Čierna"}},
        {"view": true}, {"confirm": "doubleclick"}, {"cancel": true}])",
                                     chooser);
    EXPECT_EQ(chooser.Log(), "open, preview, preview, showall 1, select 3, view, doubleclick 3");
    EXPECT_EQ(chooser.chosenId, "ZmFrZS1pZC00");

    // The line holds what the dialog showed, as the chooser gave it.
    EXPECT_EQ(line["rows"][2]["name"], "Ľubica Šťastná");
    EXPECT_EQ(line["preselected"], 2);

    const nlohmann::json& steps = line["actions"];
    ASSERT_EQ(steps.size(), 7u);
    EXPECT_EQ(steps[0]["text"], nullptr);  // the first download failed
    const std::string shown = steps[1]["text"];
    EXPECT_EQ(shown.size(), 1999u);
    EXPECT_EQ(shown.substr(shown.size() - 2), "š");
    EXPECT_EQ(steps[1]["truncated"], true);
    EXPECT_EQ(steps[1]["length"], 2701);
    EXPECT_EQ(steps[2]["rows"].size(), 5u);
    EXPECT_EQ(steps[2]["preselected"], 4);  // still Ľubica, now further down
    EXPECT_EQ(steps[3]["clicked"], false);  // already checked: no second refill
    EXPECT_EQ(steps[6]["row"], 3);
    EXPECT_EQ(line["unusedActions"], 1);
    EXPECT_EQ(line["answer"], "ok");
}

}  // namespace
}  // namespace quillbox::ui
