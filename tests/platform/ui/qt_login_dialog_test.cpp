// The login window, clicked and typed into as a person would. Its texts are compared with
// the scripted person's end to end.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>


#include "box_driver.h"
#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::ui {
namespace {

using test::DialogDriver;

// The SMS code step: name and password locked, the focus in the code.
LoginRequest Request() {
    LoginRequest request;
    request.caption = "Quillbox: Autentizace";
    request.serverLine = "Server box.example požaduje vaše uživatelské jméno a heslo.";
    request.serverMessage = "Zadejte kód z SMS.";
    request.user = {.cue = "Uživatelské jméno", .enabled = false};
    request.password = {.cue = "Heslo", .enabled = false, .masked = true};
    request.code = {.cue = "Kód z SMS"};
    request.userName = "jana";
    request.passwordText = secret::SecretText("heslo");
    request.focusOnCode = true;
    request.okText = "OK";
    request.cancelText = "Zrušit";
    return request;
}

QLineEdit* Field(QDialog& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(name);
}

void TypeCharacters(QLineEdit* field, const QString& text) {
    // Not ASCII, so a key at a time rather than keyClicks.
    for (const QChar ch : text) {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

TEST(QtLoginDialog, ShowsTheRequestAndHandsBackWhatWasTyped) {
    QtUserInterface ui;
    DialogDriver driver("loginDialog", [](QDialog& dialog) {
        // No blank left by lines that wrap only in a narrower window.
        EXPECT_EQ(dialog.height(), dialog.heightForWidth(dialog.width()));
        auto* message = dialog.findChild<QLabel*>("serverMessage");
        EXPECT_TRUE(message->isVisible());
        EXPECT_EQ(message->palette().color(QPalette::WindowText), QColor(0xb0, 0, 0));
        QLineEdit* user = Field(dialog, "user");
        QLineEdit* password = Field(dialog, "password");
        QLineEdit* code = Field(dialog, "code");
        EXPECT_FALSE(user->isEnabled());
        EXPECT_FALSE(password->isEnabled());
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        EXPECT_EQ(password->displayText(), "*****");
        EXPECT_EQ(code->placeholderText(), "Kód z SMS");
        EXPECT_EQ(dialog.focusWidget(), code);
        QTest::keyClicks(code, "482913");
        QTest::keyClick(code, Qt::Key_Return);
    });
    const LoginAnswer answer = ui.AskLogin(Request());
    EXPECT_TRUE(driver.Acted());
    EXPECT_TRUE(answer.confirmed);
    EXPECT_EQ(answer.userName, "jana");
    EXPECT_EQ(answer.password.view(), "heslo");
    EXPECT_EQ(answer.code.view(), "482913");
}

TEST(QtLoginDialog, WithoutServerMessageTheFieldsMoveUpAndCodeIsHidden) {
    QtUserInterface ui;
    LoginRequest request = Request();
    int userWithMessage = 0;
    DialogDriver first("loginDialog", [&](QDialog& dialog) {
        userWithMessage = Field(dialog, "user")->y();
        dialog.reject();
    });
    ui.AskLogin(request);
    request.serverMessage.clear();
    request.code.shown = false;
    request.user.enabled = request.password.enabled = true;
    request.focusOnCode = false;
    DialogDriver second("loginDialog", [&](QDialog& dialog) {
        EXPECT_FALSE(dialog.findChild<QLabel*>("serverMessage")->isVisible());
        EXPECT_LT(Field(dialog, "user")->y(), userWithMessage);
        EXPECT_FALSE(Field(dialog, "code")->isVisible());
        EXPECT_EQ(dialog.focusWidget(), Field(dialog, "user"));
        dialog.reject();
    });
    ui.AskLogin(request);
    EXPECT_TRUE(first.Acted() && second.Acted());
}

// 100 Czech letters fit; the 101st is refused as it is typed. Escape cancels.
TEST(QtLoginDialog, RefusesTheCharacterPastTheLimitAndEscapeCancels) {
    QtUserInterface ui;
    LoginRequest request = Request();
    request.user.enabled = true;
    request.userName.clear();
    request.focusOnCode = false;
    DialogDriver driver("loginDialog", [](QDialog& dialog) {
        QLineEdit* user = Field(dialog, "user");
        QString hundred;
        for (int i = 0; i < 100; ++i) {
            hundred += QChar(0x0159);  // ř
        }
        TypeCharacters(user, hundred + QStringLiteral("ž"));
        EXPECT_EQ(user->text(), hundred);
        QTest::keyClick(user, Qt::Key_Escape);
    });
    const LoginAnswer answer = ui.AskLogin(request);
    EXPECT_TRUE(driver.Acted());
    EXPECT_FALSE(answer.confirmed);
    EXPECT_TRUE(answer.userName.empty() && answer.code.empty());
}

}  // namespace
}  // namespace quillbox::ui
