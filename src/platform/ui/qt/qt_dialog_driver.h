// Acting on the real Qt windows as a person would, for the driver that answers them from
// an answers file (`--ui qt:ANSWERS.json`): clicks, typing, a pause between steps so a
// person watching can follow. Only the driver uses these; without an answers file the
// dialogs behave exactly as they do for a person.
#pragma once

#include <QString>
#include <functional>

class QAbstractButton;
class QLineEdit;
class QPoint;
class QWidget;

namespace quillbox::ui::driver {

// Runs act once the window's event loop is running, after the pause between steps
// ($QUILLBOX_UI_STEP_MS, 0 when unset). The call is dropped if the window goes first.
void WhenShown(QWidget* window, std::function<void()> act);

// A left click, as the mouse gives it, at point (the centre when null) of widget.
void Click(QWidget* widget, const QPoint* point = nullptr);
void DoubleClick(QWidget* widget, const QPoint& point);
// Presses a button with the mouse; a disabled button does nothing, as for a person.
void Press(QAbstractButton* button);
// Types text into field, a key per character, replacing what the field held.
void Type(QLineEdit* field, const QString& text);

}  // namespace quillbox::ui::driver
