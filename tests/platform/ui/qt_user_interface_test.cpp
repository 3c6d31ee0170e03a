#include "platform/ui/qt/qt_user_interface.h"

#include <QLabel>

#include <gtest/gtest.h>

#include "box_driver.h"

namespace quillbox::ui {
namespace {

using test::BoxDriver;
using test::ClickButton;
using test::PressKey;

TEST(QtMessageBox, ErrorBoxShowsWhatWasAskedAndClosesWithOk) {
    const std::string text = "Nepodařilo se vytvořit dokument XML. <Task/> & co.";
    QtUserInterface ui;
    QMessageBox* seen = nullptr;
    BoxDriver driver([&](QMessageBox& box) {
        seen = &box;
        EXPECT_EQ(box.windowTitle(), "Chyba");
        EXPECT_EQ(box.text().toStdString(), text);
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
        EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        // Markup in a message is shown as written, not swallowed as rich text.
        EXPECT_EQ(box.findChild<QLabel*>("qt_msgbox_label")->textFormat(), Qt::PlainText);
        ClickButton(QMessageBox::Ok)(box);
    });

    EXPECT_EQ(ui.ShowMessageBox({.icon = BoxIcon::Error, .caption = "Chyba", .text = text}),
              BoxAnswer::Ok);
    EXPECT_NE(seen, nullptr);
    EXPECT_FALSE(driver.TimedOut());
}

TEST(QtMessageBox, ClosingTheOnlyWindowDoesNotEndTheApplicationsEventLoop) {
    // A host running its dialogs on a thread of their own keeps QApplication::exec running
    // between boxes; closing a box must not make exec return.
    constexpr int kOwnExit = 7;
    QtUserInterface ui;
    BoxDriver driver(ClickButton(QMessageBox::Ok));
    QTimer::singleShot(0, [&] {
        ui.ShowMessageBox({.caption = "x", .text = "y"});
        QTimer::singleShot(100, [] { QApplication::exit(kOwnExit); });
    });

    EXPECT_EQ(QApplication::exec(), kOwnExit);
    EXPECT_TRUE(driver.Acted());
}

TEST(QtMessageBox, GivesTheButtonThePersonChoseAndKeysGiveTheDefault) {
    const struct {
        const char* name;
        BoxButtons buttons;
        BoxAnswer defaultAnswer;
        BoxDriver::Action action;
        BoxAnswer expected;
    } cases[] = {
        {"No clicked", BoxButtons::YesNo, BoxAnswer::Yes, ClickButton(QMessageBox::No),
         BoxAnswer::No},
        {"Escape", BoxButtons::YesNo, BoxAnswer::No, PressKey(Qt::Key_Escape), BoxAnswer::No},
        {"Enter", BoxButtons::YesNo, BoxAnswer::No, PressKey(Qt::Key_Return), BoxAnswer::No},
        {"Escape, OK/Cancel", BoxButtons::OkCancel, BoxAnswer::Cancel, PressKey(Qt::Key_Escape),
         BoxAnswer::Cancel},
        {"unfitting default OK means Yes", BoxButtons::YesNo, BoxAnswer::Ok,
         PressKey(Qt::Key_Escape), BoxAnswer::Yes},
    };
    QtUserInterface ui;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoxDriver driver(c.action);
        EXPECT_EQ(ui.ShowMessageBox({.icon = BoxIcon::Question,
                                     .buttons = c.buttons,
                                     .text = "Continue?",
                                     .defaultAnswer = c.defaultAnswer}),
                  c.expected);
        EXPECT_FALSE(driver.TimedOut());
    }
}

}  // namespace
}  // namespace quillbox::ui
