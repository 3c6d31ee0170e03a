// The rules of the wait dialog: it stays hidden for the first 200 ms (quick downloads show
// no window), is shown only when the caller allows it, and its bar moves one step per
// beat of the wait loop, starting again from 0 after 100.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/ui/user_interface.h"

namespace quillbox::net {

class WaitDialogController {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kShowDelay{200};
    static constexpr std::chrono::milliseconds kBeat{50};
    static constexpr int kLastPosition = 100;

    // Creates the (hidden) dialog with text as its text line.
    WaitDialogController(ui::UserInterface& ui, const std::string& text, bool showAllowed,
                         Clock::time_point start = Clock::now());
    // Closes the dialog.
    ~WaitDialogController();
    WaitDialogController(const WaitDialogController&) = delete;
    WaitDialogController& operator=(const WaitDialogController&) = delete;

    // One beat of the wait loop at time now: shows the dialog when it is due, moves the
    // bar when it is shown, and advances the counter.
    void Beat(Clock::time_point now = Clock::now());

    bool Shown() const { return shown_; }
    int Counter() const { return counter_; }

  private:
    bool Due(Clock::time_point now) const { return showAllowed_ && now - start_ > kShowDelay; }

    std::unique_ptr<ui::WaitDialog> dialog_;
    bool showAllowed_;
    bool shown_ = false;
    Clock::time_point start_;
    int counter_ = 0;
};

}  // namespace quillbox::net
