// Shows the plug-in's dialogs with Qt Widgets.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "platform/ui/user_interface.h"

namespace quillbox::ui {

class AnswerScript;

// Needs a QApplication that lives longer than this object. Every call may come from any
// thread: the dialog runs on the application's thread and the caller waits for it (the
// rule is written down in user_interface.h).
//
// With an answers file the same windows are answered by a driver that acts on their
// widgets as a person would (selects, types, clicks), and each dialog leaves the
// transcript line the scripted person would have written, with the texts read from the
// widgets. A dialog the file does not answer gets its default answer.
class QtUserInterface final : public UserInterface {
  public:
    // Throws std::logic_error when no QApplication exists.
    explicit QtUserInterface(std::shared_ptr<AnswerScript> driver = nullptr);

    // On the application's thread a wait runs a local event loop, so that the dialogs
    // other threads ask for meanwhile are shown; elsewhere it blocks as the default does.
    std::unique_ptr<ThreadWait> CreateThreadWait() override;

    BoxAnswer ShowMessageBox(const MessageBoxRequest& box) override;

    // Wait dialog (qt_wait_dialog.cpp).
    std::unique_ptr<WaitDialog> CreateWaitDialog(const WaitDialogRequest& request) override;

    // PIN dialog (qt_pin_dialog.cpp).
    PinDialogAnswer AskPin(const PinDialogRequest& request) override;
    std::unique_ptr<PinDialogSession> KeepPinDialog() override;
    // Certificate viewer (qt_certificate_dialog.cpp).
    void ShowCertificate(const CertificateViewRequest& request) override;
    // Certificate warning and credentials dialog (qt_connection_dialogs.cpp).
    bool AskContinueDespiteCertificate(const CertificateWarningRequest& request) override;
    CredentialsAnswer AskCredentials(const CredentialsRequest& request) override;
    // Login dialog (qt_login_dialog.cpp).
    LoginAnswer AskLogin(const LoginRequest& request) override;
    // Enrollment dialogs (qt_password_dialog.cpp, qt_save_dialog.cpp).
    PasswordAnswer AskPassword(const PasswordRequest& request) override;
    SaveFileAnswer AskSaveFile(const SaveFileRequest& request) override;
    // Certificate dialog (qt_certificate_chooser.cpp).
    void RunCertificateChooser(CertificateChooser& chooser) override;
    // Open-file dialog (qt_open_file_dialog.cpp).
    OpenFileAnswer AskOpenFile(const OpenFileRequest& request) override;

    // Closes the open dialogs, innermost first, and every later one as it opens, before
    // it reaches the screen (qt_give_up.cpp).
    void GiveUp() override;

  private:
    class PinSession;

    std::shared_ptr<AnswerScript> driver_;
    // The PIN dialog kept between questions, and how many sessions keep it; touched on
    // the application's thread only.
    QPointer<QDialog> keptPin_;
    int pinSessions_ = 0;
};

// Whether Qt can show windows here: a platform was chosen explicitly (QT_QPA_PLATFORM)
// or an X11 or Wayland display is set. Front ends use it to pick a user interface.
bool QtDisplayAvailable();

}  // namespace quillbox::ui
