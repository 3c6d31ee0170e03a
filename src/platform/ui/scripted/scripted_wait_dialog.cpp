// The scripted wait dialog: nobody answers it, so it only keeps notes of what a person
// would have seen and writes them as one transcript line when it closes.
#include <chrono>
#include <optional>

#include "platform/ui/scripted/scripted_user_interface.h"

namespace quillbox::ui {

namespace {

constexpr std::string_view kWaitDialog = "wait";

class ScriptedWaitDialog final : public WaitDialog {
  public:
    ScriptedWaitDialog(ScriptedUserInterface& ui, WaitDialogRequest request)
        : ui_(ui), request_(std::move(request)) {}

    ~ScriptedWaitDialog() override {
        nlohmann::json record = {{"dialog", kWaitDialog},
                                 {"caption", request_.caption},
                                 {"texts", nlohmann::json::array({request_.text})},
                                 {"shown", shownAfter_.has_value()}};
        if (shownAfter_) {
            record["shownAt"] = shownAt_;
            record["shownAfterMs"] = shownAfter_->count();
            record["progressUpdates"] = updates_;
            record["lastProgress"] = lastPosition_;
            record["restarts"] = restarts_;
        }
        record["openMs"] = Elapsed().count();
        ui_.Record(std::move(record));
    }

    void Show() override {
        if (!shownAfter_) {
            shownAfter_ = Elapsed();
            shownAt_ = LocalTimestamp();
        }
    }

    void SetProgress(int position) override {
        if (updates_ > 0 && position < lastPosition_) {
            ++restarts_;
        }
        lastPosition_ = position;
        ++updates_;
    }

  private:
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - created_);
    }

    ScriptedUserInterface& ui_;
    WaitDialogRequest request_;
    const std::chrono::steady_clock::time_point created_ = std::chrono::steady_clock::now();
    std::optional<std::chrono::milliseconds> shownAfter_;
    std::string shownAt_;
    int updates_ = 0;
    int lastPosition_ = 0;
    int restarts_ = 0;
};

}  // namespace

std::unique_ptr<WaitDialog> ScriptedUserInterface::CreateWaitDialog(
    const WaitDialogRequest& request) {
    return std::make_unique<ScriptedWaitDialog>(*this, request);
}

}  // namespace quillbox::ui
