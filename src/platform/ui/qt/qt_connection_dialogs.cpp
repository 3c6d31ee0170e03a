// The certificate warning and the credentials dialog drawn with Qt Widgets; what the
// credentials dialog accepts is CredentialsRequest::Accepts.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "platform/ui/qt/qt_caption_width.h"
#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_secret_text.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui {

namespace {

constexpr char kParagraph[] = "\n\n";

bool AskContinueHere(const CertificateWarningRequest& request, AnswerScript* script) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(request.caption),
                    QString::fromStdString(request.problem + kParagraph + request.question),
                    QMessageBox::Yes | QMessageBox::No, DialogOwner());
    box.setObjectName("certificateWarning");
    box.setTextFormat(Qt::PlainText);  // host names are not markup
    // The host, and on the next line the page that asks, if one does.
    const std::string requester = CurrentRequester();
    box.setInformativeText(
        QString::fromStdString(request.host + (requester.empty() ? "" : "\n" + requester)));
    SetUpWindow(box);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (!request.yesText.empty()) {
        box.button(QMessageBox::Yes)->setText(QString::fromStdString(request.yesText));
    }
    if (!request.noText.empty()) {
        box.button(QMessageBox::No)->setText(QString::fromStdString(request.noText));
    }
    box.button(QMessageBox::Yes)->setObjectName("yes");
    box.button(QMessageBox::No)->setObjectName("no");

    std::optional<script::WarningPlan> plan;
    if (script != nullptr) {
        plan = script::PlanCertificateWarning(*script);
        driver::WhenShown(&box, [&box, &plan] {
            driver::Press(box.button(plan->goOn ? QMessageBox::Yes : QMessageBox::No));
        });
    }
    const bool goOn = box.exec() == QMessageBox::Yes;
    if (plan) {
        CertificateWarningRequest seen = request;
        seen.caption = box.windowTitle().toStdString();
        const std::string text = box.text().toStdString();
        const std::size_t split = text.find(kParagraph);
        seen.problem = text.substr(0, split);
        seen.question = split == std::string::npos ? "" : text.substr(split + 2);
        const std::string below = box.informativeText().toStdString();
        const std::size_t lineEnd = below.find('\n');
        seen.host = below.substr(0, lineEnd);
        nlohmann::json line = script::CertificateWarningLine(seen, goOn, plan->scripted);
        if (lineEnd != std::string::npos) {
            line["requester"] = below.substr(lineEnd + 1);
        }
        script->Record(std::move(line), plan->problem);
    }
    return goOn;
}

CredentialsAnswer AskCredentialsHere(const CredentialsRequest& request, AnswerScript* script) {
    QDialog dialog(DialogOwner());
    dialog.setObjectName("credentialsDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    SetUpWindow(dialog);
    WidenForCaption(dialog, 420);

    auto* layout = new QVBoxLayout(&dialog);
    AddRequesterLine(dialog, *layout);
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

    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    std::optional<script::CredentialsPlan> plan;
    if (script != nullptr) {
        plan = script::PlanCredentials(*script, request);
        driver::WhenShown(&dialog, [&dialog, &plan, user, password, ok, cancel] {
            if (plan->confirm) {
                driver::Type(user, QString::fromStdString(plan->userName));
                driver::Type(password,
                             QString::fromUtf8(plan->password.data(),
                                               static_cast<qsizetype>(plan->password.size())));
                if (!ok->isEnabled()) {
                    plan->problem = "the confirm button stayed disabled";
                }
                driver::Press(ok);
            }
            if (dialog.isVisible()) {
                driver::Press(cancel);
            }
        });
    }
    CredentialsAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.confirmed = true;
        answer.userName = user->text().toStdString();
        answer.password = SecretFromText(password->text());
    }
    if (plan) {
        CredentialsRequest seen = request;
        seen.caption = dialog.windowTitle().toStdString();
        seen.prompt = dialog.findChild<QLabel*>("prompt")->text().toStdString();
        nlohmann::json line =
            script::CredentialsLine(seen, answer.userName, answer.confirmed, plan->scripted);
        if (const std::string shown = RequesterShownIn(dialog); !shown.empty()) {
            line["requester"] = shown;
        }
        script->Record(std::move(line), plan->problem);
    }
    // The line edit's own copy cannot be wiped (see the PIN dialog); it goes now.
    password->clear();
    return answer;
}

}  // namespace

bool QtUserInterface::AskContinueDespiteCertificate(const CertificateWarningRequest& request) {
    return OnGuiThread(false, [&] { return AskContinueHere(request, driver_.get()); });
}

CredentialsAnswer QtUserInterface::AskCredentials(const CredentialsRequest& request) {
    return OnGuiThread(CredentialsAnswer{},
                       [&] { return AskCredentialsHere(request, driver_.get()); });
}

}  // namespace quillbox::ui
