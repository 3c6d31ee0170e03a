// Everything the plug-in shows a person goes through this interface, so that the
// rules of the system run unchanged with Qt dialogs, a script, or no display at all.
#pragma once

#include <string>

namespace quillbox::ui {

enum class BoxIcon { Information, Warning, Error, Question };
enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// Words on a box's buttons; an empty one keeps the platform's standard word. Lets the
// plug-in show its own localised words instead of the desktop's language.
struct BoxButtonTexts {
    std::string ok{};
    std::string cancel{};
    std::string yes{};
    std::string no{};
};

struct MessageBoxRequest {
    BoxIcon icon = BoxIcon::Information;
    BoxButtons buttons = BoxButtons::Ok;
    std::string caption{};  // UTF-8
    std::string text{};     // UTF-8, may hold line breaks
    // The answer a person gets by pressing Enter or Escape, and the one given when
    // nobody can answer (no script entry left).
    BoxAnswer defaultAnswer = BoxAnswer::Ok;
    BoxButtonTexts buttonTexts{};
};

// Whether a box with these buttons offers that answer.
bool BoxOffers(BoxButtons buttons, BoxAnswer answer);

// The box's default answer fitted to its buttons: defaultAnswer when the box offers it,
// otherwise the matching button (Yes for Ok, No for Cancel and back), so a request with
// an unfitting default still gets an answer its caller can handle.
BoxAnswer DefaultAnswerOf(const MessageBoxRequest& box);

class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // Blocks the calling thread until the box is closed and returns the button pressed.
    virtual BoxAnswer ShowMessageBox(const MessageBoxRequest& box) = 0;
};

// Stand-in when no front end installed a user interface (a library caller without
// a display): boxes go to standard error and get their default answer.
class ConsoleUserInterface final : public UserInterface {
  public:
    BoxAnswer ShowMessageBox(const MessageBoxRequest& box) override;
};

// The process-wide user interface used by logging and the task handlers. Never null:
// without SetUserInterface it is a ConsoleUserInterface. The caller keeps ownership
// and must reset it (nullptr) before destroying the object.
UserInterface& CurrentUserInterface();
void SetUserInterface(UserInterface* ui);

}  // namespace quillbox::ui
