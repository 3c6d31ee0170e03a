#include "platform/ui/qt/qt_user_interface.h"

#include <QEventLoop>
#include <QLabel>
#include <QThread>
#include <ostream>
#include <thread>

#include <gmock/gmock.h>

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

struct AnswerCase {
    const char* name;
    BoxButtons buttons;
    BoxAnswer defaultAnswer;
    BoxDriver::Action action;
    BoxAnswer expected;
};
void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class QtMessageBoxAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(QtMessageBoxAnswers, GivesTheButtonThePersonChose) {
    const AnswerCase& c = GetParam();
    QtUserInterface ui;
    BoxDriver driver(c.action);
    EXPECT_EQ(ui.ShowMessageBox({.icon = BoxIcon::Question,
                                 .buttons = c.buttons,
                                 .text = "Continue?",
                                 .defaultAnswer = c.defaultAnswer}),
              c.expected);
    EXPECT_FALSE(driver.TimedOut());
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, QtMessageBoxAnswers,
    ::testing::Values(AnswerCase{"NoClicked", BoxButtons::YesNo, BoxAnswer::Yes,
                                 ClickButton(QMessageBox::No), BoxAnswer::No},
                      AnswerCase{"EscapeGivesDefaultNo", BoxButtons::YesNo, BoxAnswer::No,
                                 PressKey(Qt::Key_Escape), BoxAnswer::No},
                      AnswerCase{"EnterGivesDefaultNo", BoxButtons::YesNo, BoxAnswer::No,
                                 PressKey(Qt::Key_Return), BoxAnswer::No},
                      AnswerCase{"EscapeGivesDefaultCancel", BoxButtons::OkCancel,
                                 BoxAnswer::Cancel, PressKey(Qt::Key_Escape), BoxAnswer::Cancel},
                      AnswerCase{"UnfittingDefaultOkMeansYes", BoxButtons::YesNo, BoxAnswer::Ok,
                                 PressKey(Qt::Key_Escape), BoxAnswer::Yes}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillbox::ui
