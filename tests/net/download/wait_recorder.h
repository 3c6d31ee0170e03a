// A user interface for download tests: it notes every wait dialog it was asked for (when it
// was shown, every bar position) and answers message boxes with their default.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/ui/user_interface.h"

namespace quillbox::test {

struct WaitDialogNotes {
    ui::WaitDialogRequest request;
    std::chrono::steady_clock::time_point created;
    std::optional<std::chrono::milliseconds> shownAfter;
    std::vector<int> positions;
    bool closed = false;
};

class WaitRecorder final : public ui::UserInterface {
  public:
    WaitRecorder() { ui::SetUserInterface(this); }
    ~WaitRecorder() override { ui::SetUserInterface(nullptr); }
    WaitRecorder(const WaitRecorder&) = delete;
    WaitRecorder& operator=(const WaitRecorder&) = delete;

    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        return ui::DefaultAnswerOf(box);
    }

    std::unique_ptr<ui::WaitDialog> CreateWaitDialog(
        const ui::WaitDialogRequest& request) override {
        std::lock_guard lock(mutex);
        dialogs.push_back(std::make_shared<WaitDialogNotes>(
            WaitDialogNotes{request, std::chrono::steady_clock::now(), {}, {}, false}));
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
            std::lock_guard lock(owner_.mutex);
            notes_->closed = true;
        }
        void Show() override {
            std::lock_guard lock(owner_.mutex);
            if (!notes_->shownAfter) {
                notes_->shownAfter = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - notes_->created);
            }
        }
        void SetProgress(int position) override {
            std::lock_guard lock(owner_.mutex);
            notes_->positions.push_back(position);
        }

      private:
        WaitRecorder& owner_;
        std::shared_ptr<WaitDialogNotes> notes_;
    };
};

}  // namespace quillbox::test
