// The PIN dialog and the certificate viewer, clicked through as a person would.
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

PinDialogRequest Request() {
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

// The texts themselves are compared with the scripted person's end to end; here what only
// the window shows: markup taken as text, a masked field, and limits counted in UTF-8 bytes
// as tokens count them.
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
    const PinDialogAnswer answer = ui.AskPin(Request());
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
            EXPECT_EQ(ui.AskPin(Request()).pin.view(), typed);
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
    const PinDialogAnswer answer = ui.AskPin(Request());
    EXPECT_TRUE(driver.Acted());
    EXPECT_FALSE(answer.confirmed);
    EXPECT_TRUE(answer.pin.empty());
}

TEST(QtPinDialog, LockedTokenOffersOnlyCancel) {
    QtUserInterface ui;
    PinDialogRequest request = Request();
    request.canEnter = false;
    DialogDriver driver("pinDialog", [](QDialog& dialog) {
        EXPECT_FALSE(dialog.findChild<QLineEdit*>("pin")->isEnabled());
        EXPECT_FALSE(Button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QTest::mouseClick(Button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    EXPECT_FALSE(ui.AskPin(request).confirmed);
    EXPECT_TRUE(driver.Acted());
}

}  // namespace
}  // namespace quillbox::ui
