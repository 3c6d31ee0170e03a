#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::ui {

namespace {

// Once the page has gone: cancels the innermost open dialog on every beat. One at a time,
// because a dialog's code runs on when its window closes (a cancelled PIN prompt returns
// into the certificate dialog's "Sign"); cancelling the outer one meanwhile would act
// under that code's feet.
class DialogCanceller final : public QObject {
  public:
    explicit DialogCanceller(QObject* parent) : QObject(parent) {
        qApp->installEventFilter(this);
        connect(&beat_, &QTimer::timeout, this, &DialogCanceller::CancelInnermost);
        beat_.start(20);
        CancelInnermost();
    }

  protected:
    // A dialog that opens from now on never reaches the screen; the next beat cancels it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog != nullptr && dialog->isWindow() && dialog->isModal()) {
                dialog->setAttribute(Qt::WA_DontShowOnScreen, true);
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static void CancelInnermost() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        // A box answers with the button that says no, so its caller sees a cancel and
        // not its default answer.
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            for (QAbstractButton* button : box->buttons()) {
                const QMessageBox::ButtonRole role = box->buttonRole(button);
                if (role == QMessageBox::RejectRole || role == QMessageBox::NoRole) {
                    button->click();
                    return;
                }
            }
        }
        dialog->reject();
    }

    QTimer beat_;
};

}  // namespace

void QtUserInterface::GiveUp() {
    UserInterface::GiveUp();
    // Not blocking: the caller (the host's reader of its input) must not wait for a
    // dialog thread that is busy with a dialog.
    QCoreApplication* app = QCoreApplication::instance();
    QMetaObject::invokeMethod(
        app, [app] { new DialogCanceller(app); }, Qt::QueuedConnection);
}

}  // namespace quillbox::ui
