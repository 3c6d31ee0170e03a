// A user interface for download tests: it notes every wait dialog it was asked for (whether it
// was shown, every bar position) and answers message boxes with their default.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/ui/user_interface.h"

namespace quillbox::test {

struct WaitDialogNotes {
    ui::WaitDialogRequest request;
    bool shown = false, closed = false;
    std::vector<int> positions;
};

class WaitRecorder final : public ui::UserInterface {
  public:
    WaitRecorder() { ui::SetUserInterface(this); }
    ~WaitRecorder() override { ui::SetUserInterface(nullptr); }

    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        return ui::DefaultAnswerOf(box);
    }

    std::unique_ptr<ui::WaitDialog> CreateWaitDialog(
        const ui::WaitDialogRequest& request) override {
        std::lock_guard lock(mutex);
        dialogs.push_back(
            std::make_shared<WaitDialogNotes>(WaitDialogNotes{request, false, false, {}}));
        return std::make_unique<Dialog>(dialogs.back());
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<WaitDialogNotes>> dialogs;

  private:
    // Each dialog is used only by the thread that waits for its download.
    struct Dialog final : ui::WaitDialog {
        explicit Dialog(std::shared_ptr<WaitDialogNotes> n) : notes(std::move(n)) {}
        ~Dialog() override { notes->closed = true; }
        void Show() override { notes->shown = true; }
        void SetProgress(int position) override { notes->positions.push_back(position); }
        std::shared_ptr<WaitDialogNotes> notes;
    };
};

}  // namespace quillbox::test
