// Acts on the certificate dialog once it is shown, from the application's event loop,
// and reaches its parts the way a person sees them.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <utility>

namespace quillbox::test {

class ChooserDriver {
  public:
    // Create on the application's thread before the dialog is shown; the action runs
    // once. A watchdog closes the dialog so a broken one cannot hang the run.
    explicit ChooserDriver(std::function<void(QDialog&)> action) : action_(std::move(action)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog != nullptr && dialog->isVisible() &&
                dialog->objectName() == "certificateChooser") {
                poll_.stop();
                acted_ = true;
                action_(*dialog);
            }
        });
        QObject::connect(&watchdog_, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                timedOut_ = true;
                dialog->done(QDialog::Rejected);
            }
        });
        watchdog_.setSingleShot(true);
        poll_.start(10);
        watchdog_.start(10000);
    }

    bool Acted() const { return acted_; }
    bool TimedOut() const { return timedOut_; }

  private:
    std::function<void(QDialog&)> action_;
    QTimer poll_;
    QTimer watchdog_;
    bool acted_ = false;
    bool timedOut_ = false;
};

inline QTableWidget* List(QDialog& dialog) {
    return dialog.findChild<QTableWidget*>("certificates");
}

inline QPushButton* Button(QDialog& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(name);
}

inline void ClickRow(QDialog& dialog, int row, bool twice = false) {
    QTableWidget* list = List(dialog);
    const QPoint centre = list->visualItemRect(list->item(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    if (twice) {
        // What a window system sends for the second click of a double-click.
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }
}

inline void ClickTab(QDialog& dialog, int page) {
    QTabBar* bar = dialog.findChild<QTabWidget*>("pages")->findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(page).center());
}

}  // namespace quillbox::test
