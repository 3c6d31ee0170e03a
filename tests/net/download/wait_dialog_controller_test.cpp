#include "net/download/wait_dialog_controller.h"

#include <gmock/gmock.h>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "wait_recorder.h"

namespace quillbox::net {
namespace {

using ::testing::ElementsAre;
using Clock = WaitDialogController::Clock;
using std::chrono::milliseconds;

class WaitDialogControllerTest : public ::testing::Test {
  protected:
    WaitDialogControllerTest() { SetLanguage("en"); }
    ~WaitDialogControllerTest() override { ResetLanguageForTesting(); }

    // Beats every 50 ms from the start, as the wait loop does, up to and including at.
    static void BeatUntil(WaitDialogController& dialog, Clock::time_point start, milliseconds at) {
        for (milliseconds t{0}; t <= at; t += milliseconds(50)) {
            dialog.Beat(start + t);
        }
    }

    test::WaitRecorder ui;
    const Clock::time_point start = Clock::now();
};

TEST_F(WaitDialogControllerTest, HiddenUntilMoreThan200MillisecondsHavePassed) {
    WaitDialogController dialog(ui, "Downloading request...", true, start);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0]->request.text, "Downloading request...");
    EXPECT_EQ(ui.dialogs[0]->request.caption, "Quillbox Plug-in (32b) 1.31.0.81");
    BeatUntil(dialog, start, milliseconds(200));
    EXPECT_FALSE(dialog.Shown());
    EXPECT_FALSE(ui.dialogs[0]->shownAfter);
    EXPECT_TRUE(ui.dialogs[0]->positions.empty());
    dialog.Beat(start + milliseconds(201));
    EXPECT_TRUE(dialog.Shown());
    EXPECT_TRUE(ui.dialogs[0]->shownAfter);
    // The counter ran from the start of the wait, so the bar does not start at 0.
    EXPECT_THAT(ui.dialogs[0]->positions, ElementsAre(5));
}

TEST_F(WaitDialogControllerTest, NeverShownWhenNotAllowed) {
    {
        WaitDialogController dialog(ui, "x", false, start);
        BeatUntil(dialog, start, milliseconds(10000));
        EXPECT_FALSE(dialog.Shown());
    }
    EXPECT_FALSE(ui.dialogs[0]->shownAfter);
    EXPECT_TRUE(ui.dialogs[0]->positions.empty());
    EXPECT_TRUE(ui.dialogs[0]->closed);
}

TEST_F(WaitDialogControllerTest, TheBarStartsAgainAfterAboutFiveSeconds) {
    WaitDialogController dialog(ui, "x", true, start);
    BeatUntil(dialog, start, milliseconds(5600));
    const std::vector<int>& positions = ui.dialogs[0]->positions;
    ASSERT_FALSE(positions.empty());
    const auto top = std::find(positions.begin(), positions.end(), 100);
    ASSERT_NE(top, positions.end());
    ASSERT_NE(top + 1, positions.end());
    EXPECT_EQ(*(top + 1), 0);
    // 100 is reached on the 101st beat: 5 seconds after the start.
    EXPECT_EQ(5 + (top - positions.begin()), 100);
    for (auto it = positions.begin(); it + 1 != positions.end(); ++it) {
        if (it != top) {
            EXPECT_EQ(*(it + 1), *it + 1);
        }
    }
}

}  // namespace
}  // namespace quillbox::net
