// The PIN and login windows, clicked and typed into as a person would. Their texts are
// compared with the scripted person's end to end.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>

#include <memory>

#include "box_driver.h"
#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::ui {
namespace {

using test::DialogDriver;

QPushButton* Button(QDialog& dialog, QDialogButtonBox::StandardButton which) {
    return dialog.findChild<QDialogButtonBox*>()->button(which);
}

PinDialogRequest PinRequest() {
    PinDialogRequest request;
    request.caption = "Token PIN";
    request.tokenLabel = "Card <A>";
    request.prompt = "PIN for the token \"Card <A>\":";
    request.certificate = "Certificate: <b>Jan</b> Novák";
    request.warnings = {"The PIN was wrong. Enter it again.", "Last attempt."};
    request.minLength = 4;
    request.maxLength = 8;
    request.okText = "Potvrdit";
    request.cancelText = "Zrušit";
    return request;
}

// Markup is taken as text, the field is masked, and the limits count UTF-8 bytes as tokens
// count them.
TEST(QtPinDialog, ConfirmsOnlyAPinWithinTheLimitsAndHandsItOver) {
    QtUserInterface ui;
    DialogDriver driver("pinDialog", [](QDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QLabel*>("prompt")->textFormat(), Qt::PlainText);
        EXPECT_EQ(dialog.findChild<QLabel*>("certificate")->textFormat(), Qt::PlainText);
        auto* pin = dialog.findChild<QLineEdit*>("pin");
        EXPECT_EQ(pin->echoMode(), QLineEdit::Password);
        QPushButton* ok = Button(dialog, QDialogButtonBox::Ok);
        EXPECT_FALSE(ok->isEnabled());
        QTest::keyClicks(pin, "12");
        EXPECT_FALSE(ok->isEnabled());
        // Not ASCII, so not through keyClicks.
        QTest::sendKeyEvent(QTest::Click, pin, Qt::Key_Eacute, QStringLiteral("é"), Qt::NoModifier);
        EXPECT_TRUE(ok->isEnabled());  // three characters, four bytes
        QTest::keyClicks(pin, "45678");
        EXPECT_FALSE(ok->isEnabled());  // nine bytes
        QTest::keyClick(pin, Qt::Key_Backspace);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    const PinDialogAnswer answer = ui.AskPin(PinRequest());
    EXPECT_TRUE(driver.Acted());
    EXPECT_TRUE(answer.confirmed);
    EXPECT_EQ(answer.pin.view(), "12é4567");
}

// After a wrong PIN the person sees the same window, cleared, with the new question's
// warnings only; it goes when the login is over.
TEST(QtPinDialog, OneWindowForAllTheQuestionsOfALogin) {
    QtUserInterface ui;
    QPointer<QDialog> window;
    {
        const std::unique_ptr<PinDialogSession> session = ui.KeepPinDialog();
        for (const char* typed : {"0000", "1234"}) {
            DialogDriver driver("pinDialog", [&](QDialog& dialog) {
                if (!window) {
                    window = &dialog;
                }
                EXPECT_EQ(&dialog, window.data());
                auto* pin = dialog.findChild<QLineEdit*>("pin");
                EXPECT_TRUE(pin->text().isEmpty());
                EXPECT_EQ(dialog.findChildren<QLabel*>("warning").size(), 2);
                QTest::keyClicks(pin, typed);
                QTest::mouseClick(Button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
            });
            EXPECT_EQ(ui.AskPin(PinRequest()).pin.view(), typed);
            EXPECT_TRUE(window && window->isVisible());  // while the token checks the PIN
        }
    }
    EXPECT_TRUE(window.isNull());
}

TEST(QtPinDialog, EnterWithAnEmptyPinDoesNotConfirmButEscapeCancels) {
    QtUserInterface ui;
    DialogDriver driver("pinDialog", [](QDialog& dialog) {
        auto* pin = dialog.findChild<QLineEdit*>("pin");
        QTest::keyClick(pin, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClicks(pin, "5678");
        QTest::keyClick(pin, Qt::Key_Escape);
    });
    const PinDialogAnswer answer = ui.AskPin(PinRequest());
    EXPECT_TRUE(driver.Acted());
    EXPECT_FALSE(answer.confirmed);
    EXPECT_TRUE(answer.pin.empty());
}

TEST(QtPinDialog, LockedTokenOffersOnlyCancel) {
    QtUserInterface ui;
    PinDialogRequest request = PinRequest();
    request.canEnter = false;
    DialogDriver driver("pinDialog", [](QDialog& dialog) {
        EXPECT_FALSE(dialog.findChild<QLineEdit*>("pin")->isEnabled());
        EXPECT_FALSE(Button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QTest::mouseClick(Button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    EXPECT_FALSE(ui.AskPin(request).confirmed);
    EXPECT_TRUE(driver.Acted());
}

// The SMS code step: name and password locked, the focus in the code.
LoginRequest LoginRequestFor() {
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
    const LoginAnswer answer = ui.AskLogin(LoginRequestFor());
    EXPECT_TRUE(driver.Acted());
    EXPECT_TRUE(answer.confirmed);
    EXPECT_EQ(answer.userName, "jana");
    EXPECT_EQ(answer.password.view(), "heslo");
    EXPECT_EQ(answer.code.view(), "482913");
}

TEST(QtLoginDialog, WithoutServerMessageTheFieldsMoveUpAndCodeIsHidden) {
    QtUserInterface ui;
    LoginRequest request = LoginRequestFor();
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
    LoginRequest request = LoginRequestFor();
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
