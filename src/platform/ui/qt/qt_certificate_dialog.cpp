// The certificate viewer drawn with Qt Widgets: a form of fields and the PEM text.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui {

namespace {

// What the viewer shows, read back from its widgets.
CertificateViewRequest SeenIn(const QDialog& dialog, const QFormLayout& form,
                              const QPlainTextEdit& pem) {
    CertificateViewRequest seen;
    seen.caption = dialog.windowTitle().toStdString();
    for (int row = 0; row < form.rowCount(); ++row) {
        const auto* name =
            qobject_cast<const QLabel*>(form.itemAt(row, QFormLayout::LabelRole)->widget());
        const auto* value =
            qobject_cast<const QLabel*>(form.itemAt(row, QFormLayout::FieldRole)->widget());
        if (name != nullptr && value != nullptr) {
            seen.fields.emplace_back(name->text().toStdString(), value->text().toStdString());
        }
    }
    seen.pem = pem.toPlainText().toStdString();
    return seen;
}

void ShowCertificateHere(const CertificateViewRequest& request, AnswerScript* script) {
    QDialog dialog(DialogOwner());
    dialog.setObjectName("certificateDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(&dialog);
    AddRequesterLine(dialog, *layout);
    auto* form = new QFormLayout();
    for (const auto& [name, value] : request.fields) {
        auto* label = new QLabel(QString::fromStdString(value), &dialog);
        label->setObjectName("field");
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);
        form->addRow(QString::fromStdString(name), label);
    }
    layout->addLayout(form);
    auto* pem = new QPlainTextEdit(QString::fromStdString(request.pem), &dialog);
    pem->setObjectName("pem");
    pem->setReadOnly(true);
    pem->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(pem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* close = buttons->button(QDialogButtonBox::Close);
    close->setObjectName("close");
    if (!request.closeText.empty()) {
        close->setText(QString::fromStdString(request.closeText));
    }
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(640, 560);
    if (script != nullptr) {
        driver::WhenShown(&dialog, [close] { driver::Press(close); });
    }
    dialog.exec();
    if (script != nullptr) {
        nlohmann::json line = script::ViewerLine(*script, SeenIn(dialog, *form, *pem));
        if (const std::string requester = RequesterShownIn(dialog); !requester.empty()) {
            line["requester"] = requester;
        }
        script->Record(std::move(line));
    }
}

}  // namespace

void QtUserInterface::ShowCertificate(const CertificateViewRequest& request) {
    OnGuiThread([&] { ShowCertificateHere(request, driver_.get()); });
}

}  // namespace quillbox::ui
