// Shows the plug-in's dialogs with Qt Widgets.
#pragma once

#include "platform/ui/user_interface.h"

namespace quillbox::ui {

// Needs a QApplication that lives longer than this object. Every call may come from any
// thread: the dialog always runs on the application's thread, and the caller waits for
// it. That thread must be running an event loop (or be the caller itself), otherwise a
// call from another thread waits forever.
class QtUserInterface final : public UserInterface {
  public:
    // Throws std::logic_error when no QApplication exists.
    QtUserInterface();

    BoxAnswer ShowMessageBox(const MessageBoxRequest& box) override;

    // Wait dialog (qt_wait_dialog.cpp).
    std::unique_ptr<WaitDialog> CreateWaitDialog(const WaitDialogRequest& request) override;

    // PIN dialog (qt_pin_dialog.cpp).
    PinDialogAnswer AskPin(const PinDialogRequest& request) override;
    // Certificate viewer (qt_certificate_dialog.cpp).
    void ShowCertificate(const CertificateViewRequest& request) override;
    // Certificate warning and credentials dialog (qt_connection_dialogs.cpp).
    bool AskContinueDespiteCertificate(const CertificateWarningRequest& request) override;
    CredentialsAnswer AskCredentials(const CredentialsRequest& request) override;
    // Certificate dialog (qt_certificate_chooser.cpp).
    void RunCertificateChooser(CertificateChooser& chooser) override;
};

// Whether Qt can show windows here: a platform was chosen explicitly (QT_QPA_PLATFORM)
// or an X11 or Wayland display is set. Front ends use it to pick a user interface.
bool QtDisplayAvailable();

}  // namespace quillbox::ui
