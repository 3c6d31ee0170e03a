// The certificate dialog clicked through as a person would: what it shows and what it
// hands to the chooser.
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>

#include <gmock/gmock.h>

#include "fake_certificate_chooser.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "qt_certificate_chooser_driver.h"

namespace quillbox::ui {
namespace {

using test::Button;
using test::ChooserDriver;
using test::ClickRow;
using test::List;

// Shows the dialog over the chooser, lets the person act once; the chooser's log.
std::string Play(test::FakeCertificateChooser& chooser, std::function<void(QDialog&)> action) {
    QtUserInterface ui;
    ChooserDriver driver(std::move(action));
    ui.RunCertificateChooser(chooser);
    EXPECT_TRUE(driver.Acted());
    EXPECT_FALSE(driver.TimedOut());
    return chooser.Log();
}

TEST(QtCertificateChooser, SinglePageWithoutPreselectionAndColumnsWideEnough) {
    test::FakeCertificateChooser chooser = test::SampleChooser();
    chooser.previewPage = false;
    chooser.rememberedId = "gone";
    chooser.texts.confirm = "OK";
    chooser.rows[0].issuerName = "Qualifikovaná certifikační autorita pro elektronické podpisy";
    chooser.rows[0].friendlyName = "Kvalifikovaný certifikát pro podepisování podání úřadům";
    chooser.texts.columns[3] = "Platnost certifikátu do";
    const std::string log = Play(chooser, [](QDialog& dialog) {
        // Columns widen for a long heading or entry, within reason, and all fit.
        QTableWidget* list = List(dialog);
        EXPECT_EQ(list->columnWidth(0), kCertificateColumnWidths[0]);
        EXPECT_GT(list->columnWidth(1), kCertificateColumnWidths[1]);
        EXPECT_LE(list->columnWidth(1), 260);
        EXPECT_GE(list->columnWidth(3), list->horizontalHeader()->sectionSizeHint(3));
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible());

        EXPECT_EQ(dialog.findChild<QTabWidget*>("pages")->count(), 1);
        EXPECT_EQ(dialog.findChild<QPlainTextEdit*>("preview"), nullptr);
        EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
        QPushButton* confirm = Button(dialog, "confirm");
        EXPECT_EQ(confirm->text(), "OK");
        EXPECT_FALSE(confirm->isEnabled());
        EXPECT_FALSE(Button(dialog, "view")->isEnabled());
        QTest::mouseClick(confirm, Qt::LeftButton);
        QTest::keyClick(&dialog, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        ClickRow(dialog, 1);
        EXPECT_TRUE(confirm->isEnabled());
        EXPECT_TRUE(Button(dialog, "view")->isEnabled());
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(log, "open, select 1, cancel");
}

TEST(QtCertificateChooser, ClosesWhenTheChooserFinishesByItself) {
    // A malformed filter breaks the refill: the window closes without a cancel.
    test::FakeCertificateChooser refill = test::SampleChooser();
    refill.failingFill = 2;
    const std::string log = Play(refill, [](QDialog& dialog) {
        auto* showAll = dialog.findChild<QCheckBox*>("showAll");
        QTest::mouseClick(showAll, Qt::LeftButton, Qt::NoModifier,
                          QPoint(6, showAll->height() / 2));
    });
    EXPECT_EQ(log, "open, showall 1");

    // Broken at opening: no window at all.
    QtUserInterface ui;
    test::FakeCertificateChooser opening = test::SampleChooser();
    opening.failingFill = 1;
    ChooserDriver unused([](QDialog&) {});
    ui.RunCertificateChooser(opening);
    EXPECT_FALSE(unused.Acted());
    EXPECT_EQ(opening.Log(), "open");
}

// A token without a usable certificate: the list says why instead of staying blank, and
// "Show all certificates" still lists the others.
TEST(QtCertificateChooser, EmptyListSaysWhyAndShowAllStillWorks) {
    test::FakeCertificateChooser chooser = test::SampleChooser();
    chooser.allRows = chooser.rows;
    chooser.rows.clear();
    chooser.texts.emptyList = "There is no suitable certificate in the keystore.";
    const std::string log = Play(chooser, [](QDialog& dialog) {
        auto* note = dialog.findChild<QLabel*>("emptyList");
        ASSERT_NE(note, nullptr);
        EXPECT_TRUE(note->isVisible());
        EXPECT_EQ(note->text(), "There is no suitable certificate in the keystore.");
        QTest::mouseClick(dialog.findChild<QCheckBox*>("showAll"), Qt::LeftButton);
        EXPECT_FALSE(note->isVisible());
        EXPECT_GT(List(dialog)->rowCount(), 0);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(log, "open, showall 1, cancel");
}

}  // namespace
}  // namespace quillbox::ui
