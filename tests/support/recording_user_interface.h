// A user interface for tests of the rules: it remembers every box it was asked to show
// and answers with the box's default, and installs itself as the process's UI.
#pragma once

#include <vector>

#include "platform/ui/user_interface.h"

namespace quillbox::test {

class RecordingUserInterface final : public ui::UserInterface {
  public:
    RecordingUserInterface() { ui::SetUserInterface(this); }
    ~RecordingUserInterface() override { ui::SetUserInterface(nullptr); }
    RecordingUserInterface(const RecordingUserInterface&) = delete;
    RecordingUserInterface& operator=(const RecordingUserInterface&) = delete;

    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        boxes.push_back(box);
        return box.defaultAnswer;
    }

    std::vector<ui::MessageBoxRequest> boxes;
};

}  // namespace quillbox::test
