#include "platform/ui/user_interface.h"

#include <atomic>
#include <cstdio>

namespace quillbox::ui {

namespace {
std::atomic<UserInterface*> g_current{nullptr};
}

BoxAnswer ConsoleUserInterface::ShowMessageBox(const MessageBoxRequest& box) {
    std::fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
    return box.defaultAnswer;
}

UserInterface& CurrentUserInterface() {
    static ConsoleUserInterface console;
    UserInterface* ui = g_current.load();
    return ui != nullptr ? *ui : console;
}

void SetUserInterface(UserInterface* ui) { g_current.store(ui); }

}  // namespace quillbox::ui
