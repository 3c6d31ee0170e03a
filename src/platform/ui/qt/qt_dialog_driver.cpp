#include "platform/ui/qt/qt_dialog_driver.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "platform/ui/scripted/answer_script.h"
#include "platform/ui/user_interface.h"

namespace quillbox::ui::driver {

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, const QPoint& point) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(point), QPointF(widget->mapToGlobal(point)), Qt::LeftButton,
                      held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

}  // namespace

void WhenShown(QWidget* window, std::function<void()> act) {
    QPointer<QWidget> alive(window);
    QTimer::singleShot(StepPause(), window, [alive, act = std::move(act)] {
        // Once the page has gone, nobody answers: the dialog closes with its cancel answer.
        if (alive && !CurrentUserInterface().GivenUp()) {
            act();
        }
    });
}

void Click(QWidget* widget, const QPoint* point) {
    const QPoint at = point != nullptr ? *point : widget->rect().center();
    SendMouse(widget, QEvent::MouseButtonPress, at);
    SendMouse(widget, QEvent::MouseButtonRelease, at);
}

void DoubleClick(QWidget* widget, const QPoint& point) {
    Click(widget, &point);
    SendMouse(widget, QEvent::MouseButtonDblClick, point);
    SendMouse(widget, QEvent::MouseButtonRelease, point);
}

void Press(QAbstractButton* button) {
    if (button != nullptr && button->isEnabled()) {
        button->click();
    }
}

void Type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    field->del();
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(field, &release);
    }
}

}  // namespace quillbox::ui::driver
