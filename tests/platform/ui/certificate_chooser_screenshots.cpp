// Saves pictures of the certificate dialog in English, Czech and Slovak, and of its
// preview page, for the documentation:
//   QT_QPA_PLATFORM=offscreen certificate_chooser_screenshots docs/screenshots
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/identity.h"
#include "core/messages/messages.h"
#include "fake_certificate_chooser.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "qt_certificate_chooser_driver.h"

namespace {

constexpr const char* kPreview =
    "<Formular xmlns=\"urn:example:podani\">\n"
    "  <Podatel>\n"
    "    <Jmeno>Jan Novák</Jmeno>\n"
    "    <Adresa>Náměstí Míru 12, 120 00 Praha 2</Adresa>\n"
    "    <Email>jan.novak@example.cz</Email>\n"
    "  </Podatel>\n"
    "  <Zadost druh=\"výpis\">\n"
    "    <Predmet>Žádost o výpis z evidence</Predmet>\n"
    "    <Odůvodnění>Podklad pro řízení č. j. 1234/2026; příloha: 2 strany.</Odůvodnění>\n"
    "  </Zadost>\n"
    "  <Datum>2026-03-12</Datum>\n"
    "</Formular>\n";

quillbox::test::FakeCertificateChooser ChooserIn(const char* language) {
    using quillbox::LoadMessage;
    quillbox::SetLanguage(language);
    quillbox::test::FakeCertificateChooser chooser = quillbox::test::SampleChooser();
    const std::string title = LoadMessage(106);
    chooser.texts.caption = quillbox::FormatMessageText(
        104, {quillbox::kProductName, quillbox::kBitness, quillbox::kPluginVersion, title});
    chooser.texts.listPage = LoadMessage(109);
    chooser.texts.previewPage = LoadMessage(110);
    chooser.texts.columns = {LoadMessage(114), LoadMessage(115), LoadMessage(117),
                             LoadMessage(116), LoadMessage(118), "Hash SHA1"};
    chooser.texts.showAll = LoadMessage(214);
    chooser.texts.confirm = LoadMessage(111);
    chooser.texts.view = LoadMessage(120);
    chooser.texts.cancel = LoadMessage(119);
    chooser.rememberedId = chooser.rows[1].certificateId;
    chooser.previews = {std::string(kPreview)};
    return chooser;
}

// Shows the dialog in that language and saves the list page and, when asked, the
// preview page; false when a picture could not be written.
bool Shoot(const char* language, const QString& listFile, const QString& previewFile) {
    quillbox::test::FakeCertificateChooser chooser = ChooserIn(language);
    bool saved = false;
    quillbox::test::ChooserDriver driver([&](QDialog& dialog) {
        saved = dialog.grab().save(listFile, "PNG");
        if (!previewFile.isEmpty()) {
            quillbox::test::ClickTab(dialog, 1);
            QApplication::processEvents();  // the buttons' row settles without "View"
            saved = saved && dialog.grab().save(previewFile, "PNG");
        }
        dialog.reject();
    });
    quillbox::ui::QtUserInterface ui;
    ui.RunCertificateChooser(chooser);
    if (!saved) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(listFile));
    }
    return saved && !driver.TimedOut();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = Shoot("en", out.filePath("certificate-dialog-en.png"),
                    out.filePath("certificate-dialog-preview-en.png"));
    ok = Shoot("cs", out.filePath("certificate-dialog-cs.png"), {}) && ok;
    ok = Shoot("sk", out.filePath("certificate-dialog-sk.png"), {}) && ok;
    return ok ? 0 : 1;
}
