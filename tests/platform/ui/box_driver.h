// Answers the next modal message box the way a person would, from the application's
// event loop, with a watchdog so a box nobody recognises never hangs a test.
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

class BoxDriver {
  public:
    using Action = std::function<void(QMessageBox& box)>;

    // Create on the application's thread before the box is shown; the action runs once.
    explicit BoxDriver(Action action) : action_(std::move(action)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible()) {
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
    QTimer poll_;
    QTimer watchdog_;
    bool acted_ = false;
    bool timedOut_ = false;
};

inline BoxDriver::Action ClickButton(QMessageBox::StandardButton which) {
    return [which](QMessageBox& box) { QTest::mouseClick(box.button(which), Qt::LeftButton); };
}

inline BoxDriver::Action PressKey(Qt::Key key) {
    return [key](QMessageBox& box) { QTest::keyClick(&box, key); };
}

}  // namespace quillbox::test
