// The certificate warning and the credentials dialog drawn with Qt Widgets; what the
// credentials dialog accepts is CredentialsRequest::Accepts.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "platform/ui/qt/qt_secret_text.h"
#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::ui {

namespace {

// Runs fn on the application's thread and waits for its answer.
template <typename Answer, typename Fn>
Answer OnGuiThread(Answer fallback, Fn fn) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return fallback;
    }
    if (QThread::currentThread() == app->thread()) {
        return fn();
    }
    Answer answer = fallback;
    QMetaObject::invokeMethod(
        app, [&answer, &fn] { answer = fn(); }, Qt::BlockingQueuedConnection);
    return answer;
}

bool AskContinueHere(const CertificateWarningRequest& request) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(request.caption),
                    QString::fromStdString(request.problem + "\n\n" + request.question),
                    QMessageBox::Yes | QMessageBox::No);
    box.setObjectName("certificateWarning");
    box.setTextFormat(Qt::PlainText);  // host names are not markup
    box.setInformativeText(QString::fromStdString(request.host));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (!request.yesText.empty()) {
        box.button(QMessageBox::Yes)->setText(QString::fromStdString(request.yesText));
    }
    if (!request.noText.empty()) {
        box.button(QMessageBox::No)->setText(QString::fromStdString(request.noText));
    }
    box.setAttribute(Qt::WA_QuitOnClose, false);
    return box.exec() == QMessageBox::Yes;
}

CredentialsAnswer AskCredentialsHere(const CredentialsRequest& request) {
    QDialog dialog;
    dialog.setObjectName("credentialsDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(&dialog);
    auto* prompt = new QLabel(QString::fromStdString(request.prompt), &dialog);
    prompt->setObjectName("prompt");
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);
    auto* form = new QFormLayout;
    auto* user = new QLineEdit(QString::fromStdString(request.userName), &dialog);
    user->setObjectName("userName");
    auto* password = new QLineEdit(&dialog);
    password->setObjectName("password");
    password->setEchoMode(QLineEdit::Password);
    form->addRow(QString::fromStdString(request.userNameLabel), user);
    form->addRow(QString::fromStdString(request.passwordLabel), password);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    if (!request.okText.empty()) {
        ok->setText(QString::fromStdString(request.okText));
    }
    if (!request.cancelText.empty()) {
        buttons->button(QDialogButtonBox::Cancel)
            ->setText(QString::fromStdString(request.cancelText));
    }
    ok->setEnabled(request.Accepts(request.userName));
    layout->addWidget(buttons);
    QObject::connect(user, &QLineEdit::textChanged, &dialog, [&request, ok](const QString& text) {
        ok->setEnabled(request.Accepts(text.toStdString()));
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, &request, user] {
        if (request.Accepts(user->text().toStdString())) {
            dialog.accept();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    (request.userName.empty() ? user : password)->setFocus();

    CredentialsAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.confirmed = true;
        answer.userName = user->text().toStdString();
        answer.password = SecretFromText(password->text());
    }
    // The line edit's own copy cannot be wiped (see the PIN dialog); it goes now.
    password->clear();
    return answer;
}

}  // namespace

bool QtUserInterface::AskContinueDespiteCertificate(const CertificateWarningRequest& request) {
    return OnGuiThread(false, [&request] { return AskContinueHere(request); });
}

CredentialsAnswer QtUserInterface::AskCredentials(const CredentialsRequest& request) {
    // The answer holds a secret and cannot be copied, so it is moved out of the call.
    CredentialsAnswer answer;
    OnGuiThread(false, [&answer, &request] {
        answer = AskCredentialsHere(request);
        return true;
    });
    return answer;
}

}  // namespace quillbox::ui
