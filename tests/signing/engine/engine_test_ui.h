// A user interface for engine tests: answers PIN dialogs from a list (an exhausted list
// cancels) and keeps every PIN dialog and certificate view it was shown.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/user_interface.h"

namespace quillbox::test {

class EngineTestUi final : public ui::UserInterface {
  public:
    EngineTestUi() { ui::SetUserInterface(this); }
    ~EngineTestUi() override { ui::SetUserInterface(nullptr); }
    EngineTestUi(const EngineTestUi&) = delete;
    EngineTestUi& operator=(const EngineTestUi&) = delete;

    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        return box.defaultAnswer;
    }
    ui::PinDialogAnswer AskPin(const ui::PinDialogRequest& request) override {
        pinDialogs.push_back(request);
        if (pins.empty()) {
            return {};
        }
        ui::PinDialogAnswer answer{true, pins.front()};
        pins.pop_front();
        return answer;
    }
    void ShowCertificate(const ui::CertificateViewRequest& request) override {
        views.push_back(request);
    }

    std::deque<std::string> pins;
    std::vector<ui::PinDialogRequest> pinDialogs;
    std::vector<ui::CertificateViewRequest> views;
};

}  // namespace quillbox::test
