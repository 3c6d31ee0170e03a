#include <QApplication>
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

// The person who just presses Enter does not go on despite the certificate.
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

}  // namespace
}  // namespace quillbox::net
