// Dialog captions carry the plug-in's name and what the dialog is for; a narrow dialog
// would cut them to "Quillbo... tokenu" in the title bar.
#pragma once

#include <QFontMetrics>
#include <QWidget>
#include <algorithm>

namespace quillbox::ui {

// Widens window, within reason, so that its caption fits the title bar.
inline void WidenForCaption(QWidget& window, int atLeast = 0) {
    // Room for the window manager's icon and buttons beside the title.
    constexpr int kTitleBarExtras = 160;
    constexpr int kWidest = 720;
    const int wanted =
        window.fontMetrics().horizontalAdvance(window.windowTitle()) + kTitleBarExtras;
    window.setMinimumWidth(std::clamp(wanted, atLeast, std::max(atLeast, kWidest)));
}

}  // namespace quillbox::ui
