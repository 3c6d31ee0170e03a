// What every window of the plug-in shares: the logo, and how it stacks among the person's
// windows. A window opened from another plug-in window is its child: transient for it,
// modal to it and in its layer, so the window manager keeps it above its parent (a child
// left below a parent that stays on top blocks a window the person cannot see). The first
// window of a task stays above the browser that asked and comes to the front.
#pragma once

#include <QIcon>
#include <QPixmap>

class QWidget;

namespace quillbox::ui {

// The plug-in's mark: a quill over a blue box, drawn so the windows need no image files.
QPixmap LogoPicture(int size, qreal pixelRatio = 1.0);
QIcon LogoIcon();

// Call once the window has its parent (DialogOwner() when it was made) and before it is
// shown. Modal windows block their parent, or the whole application when they have none;
// modeless ones (the wait dialog) block nothing.
void SetUpWindow(QWidget& window, bool modal = true);

}  // namespace quillbox::ui
