// The scripted wait dialog's transcript line: whether, when and how long it was shown.
// (A dialog never shown is seen in the task download tests.)
#include <algorithm>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/ui/scripted/scripted_user_interface.h"
#include "test_support.h"

namespace quillbox::ui {
namespace {

using json = nlohmann::json;

class ScriptedWaitDialogTest : public ::testing::Test {
  protected:
    json OnlyLine() const {
        const std::string text = test::ReadFile(transcript);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        return json::parse(text.substr(0, text.find('\n')));
    }

    test::TempDir dir;
    std::filesystem::path transcript = dir / "t.jsonl";
    ScriptedUserInterface ui{{}, transcript};
};

TEST_F(ScriptedWaitDialogTest, AShownDialogNotesWhenAndHowItsBarMoved) {
    {
        auto dialog = ui.CreateWaitDialog({"C", "T"});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        dialog->Show();
        dialog->Show();  // a second show changes nothing
        for (int position : {98, 99, 100, 0, 1}) {
            dialog->SetProgress(position);
        }
    }
    const json line = OnlyLine();
    EXPECT_EQ(line["shown"], true);
    EXPECT_GE(line["shownAfterMs"].get<int>(), 30);
    EXPECT_GE(line["openMs"].get<int>(), line["shownAfterMs"].get<int>());
    EXPECT_TRUE(line["shownAt"].is_string());
    EXPECT_EQ(line["progressUpdates"], 5);
    EXPECT_EQ(line["lastProgress"], 1);
    EXPECT_EQ(line["restarts"], 1);
}

}  // namespace
}  // namespace quillbox::ui
