#include "net/download/wait_dialog_controller.h"

#include <algorithm>

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
    void BeatUntil(WaitDialogController& dialog, milliseconds at) {
        for (milliseconds t{0}; t <= at; t += milliseconds(50))
            dialog.Beat(start + t);
    }

    test::WaitRecorder ui;
    const Clock::time_point start = Clock::now();
};

TEST_F(WaitDialogControllerTest, HiddenUntilMoreThan200MillisecondsOrWhenNotAllowed) {
    {
        WaitDialogController dialog(ui, "Downloading request...", true, start);
        BeatUntil(dialog, milliseconds(200));
        EXPECT_FALSE(ui.dialogs[0]->shown);
        EXPECT_TRUE(ui.dialogs[0]->positions.empty());
        dialog.Beat(start + milliseconds(201));
        EXPECT_TRUE(dialog.Shown());
        // The counter ran from the start of the wait, so the bar does not start at 0.
        EXPECT_THAT(ui.dialogs[0]->positions, ElementsAre(5));
    }
    WaitDialogController notAllowed(ui, "x", false, start);
    BeatUntil(notAllowed, milliseconds(10000));
    EXPECT_FALSE(notAllowed.Shown());
    EXPECT_TRUE(ui.dialogs[1]->positions.empty());
}

TEST_F(WaitDialogControllerTest, TheBarStartsAgainAfterAboutFiveSeconds) {
    WaitDialogController dialog(ui, "x", true, start);
    BeatUntil(dialog, milliseconds(5600));
    const std::vector<int>& positions = ui.dialogs[0]->positions;
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
