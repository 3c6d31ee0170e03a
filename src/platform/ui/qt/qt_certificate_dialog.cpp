// The certificate viewer drawn with Qt Widgets: a form of fields, the PEM text behind a toggle.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
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

// As high as the contents need at the window's width: wrapped values need more height
// the narrower the window is.
void FitHeight(QDialog& dialog) {
    const int height = dialog.heightForWidth(dialog.width());
    dialog.resize(dialog.width(), height > 0 ? height : dialog.sizeHint().height());
}

void ShowCertificateHere(const CertificateViewRequest& request, AnswerScript* script) {
    QDialog dialog(DialogOwner());
    dialog.setObjectName("certificateDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    SetUpWindow(dialog);

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

    // The PEM text is for the few who need it: behind a toggle, with a copy button.
    auto* details = new QToolButton(&dialog);
    details->setObjectName("details");
    details->setText(request.detailsText.empty() ? QStringLiteral("Details")
                                                 : QString::fromStdString(request.detailsText));
    details->setCheckable(true);
    details->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    details->setArrowType(Qt::RightArrow);
    details->setAutoRaise(true);
    layout->addWidget(details, 0, Qt::AlignLeft);
    auto* pemArea = new QWidget(&dialog);
    auto* pemLayout = new QVBoxLayout(pemArea);
    pemLayout->setContentsMargins(0, 0, 0, 0);
    auto* pem = new QPlainTextEdit(QString::fromStdString(request.pem), pemArea);
    pem->setObjectName("pem");
    pem->setReadOnly(true);
    pem->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    pem->setMinimumHeight(240);
    pemLayout->addWidget(pem);
    auto* copy =
        new QPushButton(request.copyText.empty() ? QStringLiteral("Copy")
                                                 : QString::fromStdString(request.copyText),
                        pemArea);
    copy->setObjectName("copy");
    copy->setAutoDefault(false);
    pemLayout->addWidget(copy, 0, Qt::AlignLeft);
    pemArea->hide();
    layout->addWidget(pemArea, 1);
    QObject::connect(details, &QToolButton::toggled, &dialog, [&dialog, details, pemArea](bool on) {
        details->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
        pemArea->setVisible(on);
        FitHeight(dialog);
    });
    QObject::connect(copy, &QPushButton::clicked, &dialog,
                     [pem] { QGuiApplication::clipboard()->setText(pem->toPlainText()); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* close = buttons->button(QDialogButtonBox::Close);
    close->setObjectName("close");
    close->setDefault(true);
    if (!request.closeText.empty()) {
        close->setText(QString::fromStdString(request.closeText));
    }
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(640, 0);
    FitHeight(dialog);
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
