// Answers the next modal dialog of type Dialog (and object name, if given) the way a person
// would, from the application's event loop, with a watchdog so a dialog nobody recognises
// never hangs a test.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <utility>

namespace quillbox::test {

template <typename Dialog>
class ModalDriver {
  public:
    using Action = std::function<void(Dialog& dialog)>;

    // Create on the application's thread before the dialog is shown; the action runs once.
    explicit ModalDriver(Action action) : ModalDriver({}, std::move(action)) {}
    ModalDriver(QString objectName, Action action)
        : action_(std::move(action)), name_(std::move(objectName)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible() &&
                (name_.isEmpty() || box->objectName() == name_)) {
                poll_.stop();
                acted_ = true;
                action_(*box);
            }
        });
        QObject::connect(&watchdog_, &QTimer::timeout, [this] {
            poll_.stop();
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                timedOut_ = true;
                dialog->done(-1);
            }
        });
        watchdog_.setSingleShot(true);
        poll_.start(10);
        watchdog_.start(10000);
    }

    bool Acted() const { return acted_; }
    bool TimedOut() const { return timedOut_; }  // the watchdog had to close the box

  private:
    Action action_;
    QString name_;
    QTimer poll_;
    QTimer watchdog_;
    bool acted_ = false;
    bool timedOut_ = false;
};

using BoxDriver = ModalDriver<QMessageBox>;
using DialogDriver = ModalDriver<QDialog>;

inline BoxDriver::Action ClickButton(QMessageBox::StandardButton which) {
    return [which](QMessageBox& box) { QTest::mouseClick(box.button(which), Qt::LeftButton); };
}

inline BoxDriver::Action PressKey(Qt::Key key) {
    return [key](QMessageBox& box) { QTest::keyClick(&box, key); };
}

}  // namespace quillbox::test
