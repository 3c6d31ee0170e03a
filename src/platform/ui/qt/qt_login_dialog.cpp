// The login dialog drawn with Qt Widgets. What it shows and which fields take input is
// decided before it opens (LoginRequest); it only draws that and hands back the texts.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
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

QLabel* AddLine(QDialog& dialog, QVBoxLayout& layout, const char* name, const std::string& text) {
    auto* label = new QLabel(QString::fromStdString(text), &dialog);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);  // host names and a server's words are not markup
    label->setWordWrap(true);
    layout.addWidget(label);
    return label;
}

QLineEdit* AddField(QDialog& dialog, QVBoxLayout& layout, const char* name, const LoginField& field,
                    std::size_t maxChars) {
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(name);
    edit->setPlaceholderText(QString::fromStdString(field.cue));
    // The cue stands in for the label on screen; a screen reader still reads the label.
    edit->setAccessibleName(QString::fromStdString(field.label.empty() ? field.cue : field.label));
    // Counts UTF-16 units: every Czech or Slovak letter is one, so maxChars of them fit and
    // one more is refused as it is typed. A character outside the BMP counts two.
    edit->setMaxLength(static_cast<int>(maxChars));
    if (field.masked) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // '*'
    }
    if (!field.shown) {
        edit->hide();
    }
    edit->setEnabled(field.enabled);
    layout.addWidget(edit);
    return edit;
}

struct LoginWidgets {
    QLabel* serverLine = nullptr;
    QLabel* serverMessage = nullptr;
    QLineEdit* user = nullptr;
    QLineEdit* password = nullptr;
    QLineEdit* code = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};

// Types the plan's values as a person would, into the fields that take them.
void TypePlan(script::LoginPlan& plan, const LoginWidgets& w) {
    auto typeInto = [&plan](QLineEdit* field, const char* name, const QString& text) {
        if (field->isHidden() || !field->isEnabled()) {
            plan.Note(std::string("the ") + name + " field cannot be typed in; left as it was");
            return;
        }
        driver::Type(field, text);
        if (field->text().size() < text.size()) {
            plan.Note(std::string("the ") + name + " field refused some of the characters");
        }
    };
    auto fromSecret = [](const secret::SecretText& text) {
        // The typed copy in Qt's key events is as unwipable as a person's.
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    };
    if (plan.user) {
        typeInto(w.user, "user", QString::fromStdString(*plan.user));
    }
    if (plan.password) {
        typeInto(w.password, "password", fromSecret(*plan.password));
    }
    if (plan.code) {
        typeInto(w.code, "code", fromSecret(*plan.code));
    }
}

// What the dialog showed, read back from its widgets.
LoginRequest SeenIn(const QDialog& dialog, const LoginWidgets& w) {
    auto field = [](const QLineEdit* edit) {
        LoginField seen;
        seen.cue = edit->placeholderText().toStdString();
        seen.shown = !edit->isHidden();
        seen.enabled = edit->isEnabled();
        seen.masked = edit->echoMode() != QLineEdit::Normal;
        return seen;
    };
    LoginRequest seen;
    seen.caption = dialog.windowTitle().toStdString();
    seen.serverLine = w.serverLine->text().toStdString();
    seen.serverMessage = w.serverMessage->isHidden() ? "" : w.serverMessage->text().toStdString();
    seen.user = field(w.user);
    seen.password = field(w.password);
    seen.code = field(w.code);
    seen.okText = w.ok->text().toStdString();
    seen.cancelText = w.cancel->text().toStdString();
    return seen;
}

LoginAnswer AskLoginHere(const LoginRequest& request, AnswerScript* script) {
    QDialog dialog(DialogOwner());
    dialog.setObjectName("loginDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    SetUpWindow(dialog);
    WidenForCaption(dialog, 420);

    auto* layout = new QVBoxLayout(&dialog);
    AddRequesterLine(dialog, *layout);
    LoginWidgets w;
    w.serverLine = AddLine(dialog, *layout, "serverLine", request.serverLine);
    w.serverMessage = AddLine(dialog, *layout, "serverMessage", request.serverMessage);
    w.serverMessage->setStyleSheet(QStringLiteral("color: #b00000;"));
    if (request.serverMessage.empty()) {
        w.serverMessage->hide();  // a hidden widget takes no room: the fields move up
    }
    w.user = AddField(dialog, *layout, "user", request.user, request.maxChars);
    w.user->setText(QString::fromStdString(request.userName));
    w.password = AddField(dialog, *layout, "password", request.password, request.maxChars);
    w.password->setText(QString::fromUtf8(request.passwordText.data(),
                                          static_cast<qsizetype>(request.passwordText.size())));
    w.code = AddField(dialog, *layout, "code", request.code, request.maxChars);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    w.ok = buttons->button(QDialogButtonBox::Ok);
    w.cancel = buttons->button(QDialogButtonBox::Cancel);
    if (!request.okText.empty()) {
        w.ok->setText(QString::fromStdString(request.okText));
    }
    if (!request.cancelText.empty()) {
        w.cancel->setText(QString::fromStdString(request.cancelText));
    }
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    (request.focusOnCode ? w.code : w.user)->setFocus();
    // Qt sizes a window with wrapped lines for their own narrow width; this one opens
    // wider, so its height is taken at that width, or a line's worth of blank stays.
    const int width = std::max(dialog.minimumWidth(), dialog.sizeHint().width());
    dialog.resize(width, dialog.heightForWidth(width));

    std::optional<script::LoginPlan> plan;
    if (script != nullptr) {
        plan = script::PlanLogin(*script, request);
        driver::WhenShown(&dialog, [&dialog, &plan, &w] {
            if (plan->confirm) {
                TypePlan(*plan, w);
                driver::Press(w.ok);
            }
            if (dialog.isVisible()) {
                driver::Press(w.cancel);
            }
        });
    }
    LoginAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.confirmed = true;
        answer.userName = w.user->text().toStdString();
        answer.password = SecretFromText(w.password->text());
        answer.code = SecretFromText(w.code->text());
    }
    if (plan) {
        const script::LoginFieldsSeen fields{w.user->text().toStdString(),
                                             CharacterCount(w.password->text()),
                                             CharacterCount(w.code->text())};
        nlohmann::json line =
            script::LoginLine(SeenIn(dialog, w), fields, answer.confirmed, plan->scripted);
        if (const std::string requester = RequesterShownIn(dialog); !requester.empty()) {
            line["requester"] = requester;
        }
        script->Record(std::move(line), plan->problem);
    }
    // The line edits' own copies cannot be wiped (see the PIN dialog); they go now.
    w.password->clear();
    w.code->clear();
    return answer;
}

}  // namespace

LoginAnswer QtUserInterface::AskLogin(const LoginRequest& request) {
    return OnGuiThread(LoginAnswer{}, [&] { return AskLoginHere(request, driver_.get()); });
}

}  // namespace quillbox::ui
