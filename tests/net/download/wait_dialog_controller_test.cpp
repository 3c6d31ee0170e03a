#include "net/download/wait_dialog_controller.h"

#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "wait_recorder.h"

namespace quillbox::net {
namespace {

using std::chrono::milliseconds;

// Beats every 50 ms, as the wait loop does: hidden up to 200 ms; then the bar starts where the
// counter has run to, moves one step a beat and starts again from 0 after 100.
TEST(WaitDialogControllerTest, ShownAfter200MillisecondsWithABarThatStartsAgainAfter100) {
    SetLanguage("en");
    test::WaitRecorder ui;
    const auto start = WaitDialogController::Clock::now();
    WaitDialogController dialog(ui, "x", true, start);
    for (milliseconds t{0}; t <= milliseconds(200); t += milliseconds(50))
        dialog.Beat(start + t);
    EXPECT_FALSE(ui.dialogs[0]->shown);
    EXPECT_TRUE(ui.dialogs[0]->positions.empty());
    for (milliseconds t{201}; t <= milliseconds(5601); t += milliseconds(50))
        dialog.Beat(start + t);
    EXPECT_TRUE(ui.dialogs[0]->shown);
    std::vector<int> expected;
    for (int beat = 5; beat <= 5 + 108; ++beat)
        expected.push_back(beat % 101);
    EXPECT_EQ(ui.dialogs[0]->positions, expected);
    ResetLanguageForTesting();
}

}  // namespace
}  // namespace quillbox::net
