// Saves pictures of the login dialog's forms in English and Czech, for the documentation:
//   QT_QPA_PLATFORM=offscreen login_dialog_screenshots docs/screenshots
// With HOLD_MS each dialog stays open that long first, to be looked at (or captured with
// the window manager's frame) on a real display:
//   login_dialog_screenshots OUTDIR HOLD_MS
// (The pictures in docs/screenshots were taken that way under Xvfb and openbox.)
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/messages/messages.h"
#include "net/send/login_dialog.h"
#include "platform/ui/qt/qt_user_interface.h"

namespace {

struct Form {
    const char* name;
    int scheme;
    const char* messageEn;
    const char* messageCs;
};

constexpr Form kForms[] = {
    {"basic", quillbox::net::kSchemeBasic, "", ""},
    {"hotp", quillbox::net::kSchemeHotp, "", ""},
    {"sms", quillbox::net::kSchemeTotpSendSms, "", ""},
    {"totp", quillbox::net::kSchemeTotp,
     "The SMS code was sent to the phone number ending 456. It is valid for 5 minutes.",
     "Kód byl odeslán SMS zprávou na telefonní číslo končící 456. Platí 5 minut."},
};

// Opens the form in that language, saves what it shows, and cancels it.
bool Shoot(const Form& form, const char* language, const QString& file, int holdMs) {
    quillbox::SetLanguage(language);
    const bool czech = std::string(language) == "cs";
    quillbox::net::CLoginDlg dialog(
        "https://www.databox.example/as/processLogin?type=" + std::string(form.name), form.scheme,
        czech ? form.messageCs : form.messageEn, false);
    bool saved = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (shown == nullptr || !shown->isVisible()) {
            return;
        }
        poll.stop();
        QTimer::singleShot(holdMs, shown, [&saved, shown, &file] {
            saved = shown->grab().save(file, "PNG");
            shown->reject();
        });
    });
    poll.start(20);
    std::string user = form.scheme == quillbox::net::kSchemeBasic ? "" : "jana.novakova";
    quillbox::secret::SecretText password(user.empty() ? "" : "tajne-heslo");
    quillbox::secret::SecretText code;
    dialog.DoModal(user, password, code);
    if (!saved) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(file));
    }
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR [HOLD_MS]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const int holdMs = argc == 3 ? std::atoi(argv[2]) : 0;
    quillbox::ui::QtUserInterface ui;
    quillbox::ui::SetUserInterface(&ui);
    bool ok = true;
    for (const char* language : {"en", "cs"}) {
        for (const Form& form : kForms) {
            const QString file =
                out.filePath(QStringLiteral("login-dialog-%1-%2.png").arg(form.name, language));
            ok = Shoot(form, language, file, holdMs) && ok;
        }
    }
    quillbox::ui::SetUserInterface(nullptr);
    return ok ? 0 : 1;
}
