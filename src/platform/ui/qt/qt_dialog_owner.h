// The window a new dialog belongs to. A dialog owned by the window the person is looking
// at opens above it and stays there under any window manager; without an owner a dialog
// asked for during a wait (a login, a certificate warning, the wait dialog of a preview)
// can open behind the window that keeps the person waiting.
#pragma once

#include <QApplication>
#include <QWidget>

namespace quillbox::ui {

// The open modal dialog, else a visible wait dialog, else none. Call on the
// application's thread.
inline QWidget* DialogOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->objectName() == QStringLiteral("quillboxWaitDialog")) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace quillbox::ui
