// The private-key password dialog drawn with Qt Widgets: a masked password field and, for a
// new key, a masked confirmation. OK asks the request whether the fields are accepted; a
// refusal was already shown in a box over the dialog, which stays open for another try.
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "platform/ui/qt/qt_caption_width.h"
#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_secret_text.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
#include "platform/ui/scripted/enroll_scripts.h"

namespace quillbox::ui {
namespace {

QLineEdit* AddMaskedField(QDialog& dialog, QFormLayout& form, const char* name,
                          const std::string& label, std::size_t maxChars) {
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(name);
    edit->setEchoMode(QLineEdit::Password);
    // Counts UTF-16 units: every Czech or Slovak letter is one, so maxChars of them fit and
    // one more is refused as it is typed.
    edit->setMaxLength(static_cast<int>(maxChars));
    edit->setMinimumWidth(260);
    form.addRow(QString::fromStdString(label), edit);
    return edit;
}

QString FromSecret(const secret::SecretText& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

PasswordAnswer AskPasswordHere(const PasswordRequest& request, AnswerScript* script) {
    QDialog dialog(DialogOwner());
    dialog.setObjectName("passwordDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    SetUpWindow(dialog);
    WidenForCaption(dialog, 380);

    auto* layout = new QVBoxLayout(&dialog);
    AddRequesterLine(dialog, *layout);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    QLineEdit* password =
        AddMaskedField(dialog, *form, "password", request.passwordLabel, request.maxChars);
    QLineEdit* confirmation =
        AddMaskedField(dialog, *form, "confirmation", request.confirmLabel, request.maxChars);
    if (!request.confirmShown) {
        form->setRowVisible(confirmation, false);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    ok->setText(QString::fromStdString(request.okText));
    cancel->setText(QString::fromStdString(request.cancelText));
    layout->addWidget(buttons);
    password->setFocus();

    std::size_t pressed = 0;
    secret::SecretText accepted;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        ++pressed;
        secret::SecretText typed = SecretFromText(password->text());
        const secret::SecretText again =
            request.confirmShown ? SecretFromText(confirmation->text()) : secret::SecretText();
        if (!request.accept || request.accept(typed.view(), again.view())) {
            accepted = std::move(typed);
            dialog.accept();
        } else {
            password->setFocus();
            password->selectAll();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    std::optional<script::PasswordPlan> plan;
    if (script != nullptr) {
        plan = script::PlanPassword(*script, request);
        driver::WhenShown(&dialog, [&] {
            for (script::PasswordAttempt& attempt : plan->attempts) {
                if (!dialog.isVisible()) {
                    break;
                }
                driver::Type(password, FromSecret(attempt.password));
                if (request.confirmShown) {
                    driver::Type(confirmation, FromSecret(attempt.confirmation));
                }
                driver::Press(ok);
            }
            if (dialog.isVisible()) {
                driver::Press(cancel);
            }
        });
    }
    PasswordAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.confirmed = true;
        answer.password = std::move(accepted);
    }
    if (plan) {
        PasswordRequest seen;
        seen.caption = dialog.windowTitle().toStdString();
        seen.passwordLabel =
            form->labelForField(password)->property("text").toString().toStdString();
        seen.confirmLabel =
            form->labelForField(confirmation)->property("text").toString().toStdString();
        seen.confirmShown = form->isRowVisible(confirmation);
        seen.okText = ok->text().toStdString();
        seen.cancelText = cancel->text().toStdString();
        nlohmann::json line = script::PasswordLine(seen, pressed, answer.confirmed, plan->scripted);
        if (const std::string requester = RequesterShownIn(dialog); !requester.empty()) {
            line["requester"] = requester;
        }
        script->Record(std::move(line), plan->problem);
    }
    // The line edits' own copies cannot be wiped; they go now.
    password->clear();
    confirmation->clear();
    return answer;
}

}  // namespace

PasswordAnswer QtUserInterface::AskPassword(const PasswordRequest& request) {
    return OnGuiThread(PasswordAnswer{}, [&] { return AskPasswordHere(request, driver_.get()); });
}

}  // namespace quillbox::ui
