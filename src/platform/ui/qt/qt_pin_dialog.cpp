// The PIN dialog drawn with Qt Widgets; what it accepts is PinDialogRequest::Accepts.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
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
#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui {

namespace {

// What the dialog shows, read back from its widgets.
PinDialogRequest SeenIn(const QDialog& dialog, const PinDialogRequest& request) {
    PinDialogRequest seen = request;
    seen.caption = dialog.windowTitle().toStdString();
    seen.prompt = dialog.findChild<QLabel*>("prompt")->text().toStdString();
    seen.warnings.clear();
    for (const QLabel* warning : dialog.findChildren<QLabel*>("warning")) {
        seen.warnings.push_back(warning->text().toStdString());
    }
    seen.canEnter = dialog.findChild<QLineEdit*>("pin")->isEnabled();
    const auto* certificate = dialog.findChild<QLabel*>("certificate");
    seen.certificate = certificate != nullptr ? certificate->text().toStdString() : "";
    return seen;
}

PinDialogAnswer AskPinHere(const PinDialogRequest& request, AnswerScript* script) {
    QDialog dialog(DialogOwner());
    dialog.setObjectName("pinDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    dialog.setAttribute(Qt::WA_QuitOnClose, false);
    WidenForCaption(dialog, 320);

    auto* layout = new QVBoxLayout(&dialog);
    AddRequesterLine(dialog, *layout);
    auto* prompt = new QLabel(QString::fromStdString(request.prompt), &dialog);
    prompt->setObjectName("prompt");
    prompt->setTextFormat(Qt::PlainText);  // token labels are not markup
    layout->addWidget(prompt);
    if (!request.certificate.empty()) {
        auto* certificate = new QLabel(QString::fromStdString(request.certificate), &dialog);
        certificate->setObjectName("certificate");
        certificate->setTextFormat(Qt::PlainText);  // nor are certificate names
        layout->addWidget(certificate);
    }
    for (const std::string& warning : request.warnings) {
        auto* label = new QLabel(QString::fromStdString(warning), &dialog);
        label->setObjectName("warning");
        label->setTextFormat(Qt::PlainText);
        label->setStyleSheet("color: #b00000;");
        layout->addWidget(label);
    }
    auto* pin = new QLineEdit(&dialog);
    pin->setObjectName("pin");
    pin->setEchoMode(QLineEdit::Password);
    pin->setEnabled(request.canEnter);
    if (request.maxLength > 0) {
        pin->setMaxLength(static_cast<int>(request.maxLength));
    }
    layout->addWidget(pin);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    if (!request.okText.empty()) {
        ok->setText(QString::fromStdString(request.okText));
    }
    if (!request.cancelText.empty()) {
        cancel->setText(QString::fromStdString(request.cancelText));
    }
    ok->setEnabled(false);
    layout->addWidget(buttons);
    QObject::connect(pin, &QLineEdit::textChanged, &dialog, [&request, ok](const QString& text) {
        ok->setEnabled(request.AcceptsLength(Utf8Length(text)));
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, &request, pin] {
        if (request.AcceptsLength(Utf8Length(pin->text()))) {
            dialog.accept();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    pin->setFocus();

    std::optional<script::PinPlan> plan;
    if (script != nullptr) {
        plan = script::PlanPin(*script, request);
        driver::WhenShown(&dialog, [&dialog, &plan, pin, ok, cancel] {
            if (plan->confirm) {
                // The typed copy in Qt's key events is as unwipable as a person's.
                driver::Type(pin, QString::fromUtf8(plan->pin.data(),
                                                    static_cast<qsizetype>(plan->pin.size())));
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
    PinDialogAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.confirmed = true;
        answer.pin = SecretFromText(pin->text());
    }
    if (plan) {
        nlohmann::json line =
            script::PinLine(SeenIn(dialog, request), answer.confirmed, plan->scripted);
        if (const std::string requester = RequesterShownIn(dialog); !requester.empty()) {
            line["requester"] = requester;
        }
        script->Record(std::move(line), plan->problem);
    }
    // What cannot be wiped: the line edit's own text (and its edit history), which Qt
    // frees without overwriting and gives no way to reach. At least it goes now.
    pin->clear();
    return answer;
}

}  // namespace

PinDialogAnswer QtUserInterface::AskPin(const PinDialogRequest& request) {
    return OnGuiThread(PinDialogAnswer{}, [&] { return AskPinHere(request, driver_.get()); });
}

}  // namespace quillbox::ui
