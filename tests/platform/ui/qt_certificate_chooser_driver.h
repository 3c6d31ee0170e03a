// Acts on the certificate dialog once it is shown, from the application's event loop,
// and reaches its parts the way a person sees them.
#pragma once

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>

#include "box_driver.h"

namespace quillbox::test {

class ChooserDriver : public ModalDriver<QDialog> {
  public:
    explicit ChooserDriver(Action action)
        : ModalDriver<QDialog>("certificateChooser", std::move(action)) {}
};

inline QTableWidget* List(QDialog& dialog) {
    return dialog.findChild<QTableWidget*>("certificates");
}

inline QPushButton* Button(QDialog& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(name);
}

inline void ClickRow(QDialog& dialog, int row) {
    QTableWidget* list = List(dialog);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(list->item(row, 0)).center());
}

inline void ClickTab(QDialog& dialog, int page) {
    QTabBar* bar = dialog.findChild<QTabWidget*>("pages")->findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(page).center());
}

}  // namespace quillbox::test
