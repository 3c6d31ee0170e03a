// The certificate dialog clicked through as a person would: what it shows and what it
// hands to the chooser.
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QThread>
#include <thread>

#include <gmock/gmock.h>

#include "fake_certificate_chooser.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "qt_certificate_chooser_driver.h"

namespace quillbox::ui {
namespace {

using test::Button;
using test::ChooserDriver;
using test::ClickRow;
using test::ClickTab;
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

TEST(QtCertificateChooser, ShowsTheRowsAndTextsAndConfirmsTheClickedRow) {
    test::FakeCertificateChooser chooser = test::SampleChooser();
    const std::string log = Play(chooser, [&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle().toStdString(), chooser.texts.caption);
        auto* pages = dialog.findChild<QTabWidget*>("pages");
        ASSERT_EQ(pages->count(), 2);
        EXPECT_EQ(pages->tabText(0), "Certificates list");
        EXPECT_EQ(pages->tabText(1), "Data being signed");
        EXPECT_EQ(dialog.findChild<QCheckBox*>("showAll")->text(), "Show all certificates");

        // The logo stands above the list, at the right.
        auto* logo = dialog.findChild<QLabel*>("logo");
        ASSERT_NE(logo, nullptr);
        EXPECT_FALSE(logo->pixmap().isNull());
        const QRect logoArea(logo->mapTo(&dialog, QPoint(0, 0)), logo->size());
        QTableWidget* list = List(dialog);
        EXPECT_GT(logoArea.left(), dialog.width() * 3 / 4);
        EXPECT_LE(logoArea.bottom(), list->mapTo(&dialog, QPoint(0, 0)).y());

        ASSERT_EQ(list->columnCount(), 6);
        EXPECT_EQ(list->horizontalHeaderItem(5)->text(), "Hash SHA1");
        EXPECT_TRUE(list->isColumnHidden(5));
        ASSERT_EQ(list->rowCount(), 3);
        QStringList row;
        for (int column = 0; column < list->columnCount(); ++column) {
            row << list->item(2, column)->text();
        }
        EXPECT_EQ(row, QStringList({"Ľubica Šťastná", "Tatra Demo Qualified CA", "15. 9. 2025",
                                    "15. 9. 2027", "Úradný podpis", "ZmFrZS1pZC0z"}));
        // The remembered certificate is preselected: both buttons start enabled.
        ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
        EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 2);
        EXPECT_TRUE(Button(dialog, "confirm")->isEnabled());
        EXPECT_TRUE(Button(dialog, "view")->isEnabled());

        ClickRow(dialog, 0);
        QTest::mouseClick(Button(dialog, "view"), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        QTest::mouseClick(Button(dialog, "confirm"), Qt::LeftButton);
    });
    EXPECT_EQ(log, "open, select 0, view, confirm");
    EXPECT_EQ(chooser.chosenId, "3q2+7w==");
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

TEST(QtCertificateChooser, PreviewPageAndCheckBoxThenDoubleClickConfirms) {
    test::FakeCertificateChooser chooser = test::SampleChooser();
    chooser.previews = {std::nullopt, std::string("<Jméno>Jan Novák</Jméno>\n<b>plain</b>")};
    const std::string log = Play(chooser, [](QDialog& dialog) {
        auto* preview = dialog.findChild<QPlainTextEdit*>("preview");
        ASSERT_NE(preview, nullptr);
        ClickTab(dialog, 1);
        EXPECT_TRUE(preview->toPlainText().isEmpty());  // the download failed
        EXPECT_TRUE(Button(dialog, "view")->isHidden());
        ClickTab(dialog, 0);
        EXPECT_FALSE(Button(dialog, "view")->isHidden());
        ClickTab(dialog, 1);
        EXPECT_EQ(preview->toPlainText(), "<Jméno>Jan Novák</Jméno>\n<b>plain</b>");
        ClickTab(dialog, 0);

        auto* showAll = dialog.findChild<QCheckBox*>("showAll");
        showAll->setFocus();
        QTest::keyClick(showAll, Qt::Key_Space);
        QTableWidget* list = List(dialog);
        ASSERT_EQ(list->rowCount(), 5);
        EXPECT_EQ(list->item(3, 0)->text(), "Zuzana Čierna");
        ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
        EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 4);  // still Ľubica
        ClickRow(dialog, 3, true);
    });
    EXPECT_EQ(log, "open, preview, preview, showall 1, select 3, doubleclick 3");
    EXPECT_EQ(chooser.chosenId, "ZmFrZS1pZC00");
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

TEST(QtCertificateChooser, CallFromAnotherThreadRunsTheDialogOnTheApplicationThread) {
    QtUserInterface ui;
    test::FakeCertificateChooser chooser = test::SampleChooser();
    QThread* dialogThread = nullptr;
    ChooserDriver driver([&](QDialog& dialog) {
        dialogThread = QThread::currentThread();
        QTest::mouseClick(Button(dialog, "confirm"), Qt::LeftButton);
    });
    QEventLoop loop;
    std::thread caller([&] {
        ui.RunCertificateChooser(chooser);
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    caller.join();
    EXPECT_EQ(dialogThread, qApp->thread());
    EXPECT_EQ(chooser.chosenId, "ZmFrZS1pZC0z");
}

}  // namespace
}  // namespace quillbox::ui
