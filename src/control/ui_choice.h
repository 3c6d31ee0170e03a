// Which user interface a front end runs with, decided the same way by the command line
// and the native messaging host.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/user_interface.h"

#ifdef QUILLBOX_WITH_QT
#include <QApplication>
#endif

namespace quillbox::control {

struct UiChoice {
#ifdef QUILLBOX_WITH_QT
    // Declared first so it outlives the interface that draws with it.
    std::unique_ptr<QApplication> app;
#endif
    std::unique_ptr<ui::UserInterface> ui;

    // Whether dialogs need this thread to run a Qt event loop.
    bool HasQtApplication() const;
};

struct UiRequest {
    // "", "qt", "qt:ANSWERS.json" (the real windows answered from the file), "console"
    // or "script:ANSWERS.json"
    std::string ui;
    std::string transcript;  // "" for $QUILLBOX_UI_TRANSCRIPT (or none)
};

// As asked; else as $QUILLBOX_UI says (the same values); else a script named in
// $QUILLBOX_UI_SCRIPT; else Qt when there is a display; else the console, which only
// writes to standard error. Answers files write their transcript to the file asked for,
// else to $QUILLBOX_UI_TRANSCRIPT. A QApplication is created only for Qt. On failure
// returns false with a message in error.
bool ChooseUi(const UiRequest& request, int& argc, char** argv, UiChoice& choice,
              std::string& error);

}  // namespace quillbox::control
