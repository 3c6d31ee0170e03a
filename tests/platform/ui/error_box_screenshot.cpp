// Saves a picture of an error box as the plug-in shows it:
//   QT_QPA_PLATFORM=offscreen error_box_screenshot OUT.png
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "box_driver.h"
#include "platform/ui/qt/qt_user_interface.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);

    bool saved = false;
    quillbox::test::BoxDriver driver([&](QMessageBox& box) {
        saved = box.grab().save(out, "PNG");
        quillbox::test::ClickButton(QMessageBox::Ok)(box);
    });
    quillbox::ui::QtUserInterface ui;
    ui.ShowMessageBox({.icon = quillbox::ui::BoxIcon::Error,
                       .caption = "Chyba",
                       .text = "Nepodařilo se vytvořit dokument XML."});
    if (!saved) {
        std::fprintf(stderr, "could not save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
