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
    std::string ui;          // "", "qt", "console" or "script:ANSWERS.json"
    std::string transcript;  // "" for $QUILLBOX_UI_TRANSCRIPT (or none)
};

// As asked; else a script named in $QUILLBOX_UI_SCRIPT (transcript in
// $QUILLBOX_UI_TRANSCRIPT); else Qt when there is a display; else the console, which
// only writes to standard error. A QApplication is created only for Qt. On failure
// returns false with a message in error.
bool ChooseUi(const UiRequest& request, int& argc, char** argv, UiChoice& choice,
              std::string& error);

}  // namespace quillbox::control
