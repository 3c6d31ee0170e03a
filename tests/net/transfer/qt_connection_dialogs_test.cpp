// The Qt certificate warning and credentials dialog, answered by simulated clicks.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "net/transfer/connection_dialogs.h"
#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::net {
namespace {

// Runs action on the modal window once it is up.
void WhenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(50, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            WhenModal(action);
            return;
        }
        action(modal);
    });
}

TEST(QtConnectionDialogsTest, WarningShowsHostAndDefaultsToNo) {
    SetLanguage("en");
    ui::QtUserInterface qtUi;
    const auto request = CertificateWarningFor(http::TransferError::CertDateInvalid, "box.example");
    ASSERT_TRUE(request);
    QString shown;
    WhenModal([&shown](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        shown = box->text() + "|" + box->informativeText();
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->defaultButton()->click();
    });
    EXPECT_FALSE(qtUi.AskContinueDespiteCertificate(*request));
    EXPECT_TRUE(shown.contains("box.example"));

    WhenModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(qtUi.AskContinueDespiteCertificate(*request));
}

TEST(QtConnectionDialogsTest, CredentialsOkOnlyWithUserName) {
    SetLanguage("en");
    ui::QtUserInterface qtUi;
    const auto request = CredentialsRequestFor("srv.example", false, "");
    bool okEnabledWhenEmpty = true;
    WhenModal([&okEnabledWhenEmpty](QWidget* w) {
        auto* user = w->findChild<QLineEdit*>("userName");
        auto* password = w->findChild<QLineEdit*>("password");
        auto* ok = w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        okEnabledWhenEmpty = ok->isEnabled();
        user->setText("anna");
        password->setText("secret");
        ok->click();
    });
    const auto answer = qtUi.AskCredentials(request);
    EXPECT_FALSE(okEnabledWhenEmpty);
    EXPECT_TRUE(answer.confirmed);
    EXPECT_EQ(answer.userName, "anna");
    EXPECT_EQ(answer.password.view(), "secret");

    WhenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(qtUi.AskCredentials(request).confirmed);
}

}  // namespace
}  // namespace quillbox::net
