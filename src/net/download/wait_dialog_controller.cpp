#include "net/download/wait_dialog_controller.h"

#include "core/identity.h"

namespace quillbox::net {

WaitDialogController::WaitDialogController(ui::UserInterface& ui, const std::string& text,
                                           bool showAllowed, Clock::time_point start)
    : dialog_(ui.CreateWaitDialog({BoxCaption(), text})),
      showAllowed_(showAllowed),
      start_(start) {}

WaitDialogController::~WaitDialogController() = default;

void WaitDialogController::Beat(Clock::time_point now) {
    if (!dialog_) {
        return;
    }
    if (!shown_ && Due(now)) {
        dialog_->Show();
        shown_ = true;
    }
    if (shown_) {
        dialog_->SetProgress(counter_);
    }
    counter_ = counter_ >= kLastPosition ? 0 : counter_ + 1;
}

}  // namespace quillbox::net
