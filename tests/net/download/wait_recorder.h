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
        return std::make_unique<Dialog>(*this, dialogs.back());
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<WaitDialogNotes>> dialogs;

  private:
    class Dialog final : public ui::WaitDialog {
      public:
        Dialog(WaitRecorder& owner, std::shared_ptr<WaitDialogNotes> notes)
            : owner_(owner), notes_(std::move(notes)) {}
        ~Dialog() override {
            Note([this] { notes_->closed = true; });
        }
        void Show() override {
            Note([this] { notes_->shown = true; });
        }
        void SetProgress(int position) override {
            Note([this, position] { notes_->positions.push_back(position); });
        }

      private:
        template <typename F>
        void Note(F f) {
            std::lock_guard lock(owner_.mutex);
            f();
        }
        WaitRecorder& owner_;
        std::shared_ptr<WaitDialogNotes> notes_;
    };
};

}  // namespace quillbox::test
