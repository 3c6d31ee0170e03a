// The certificate viewer drawn with Qt Widgets: a form of fields and the PEM text.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::ui {

namespace {

void ShowCertificateHere(const CertificateViewRequest& request) {
    QDialog dialog;
    dialog.setObjectName("certificateDialog");
    dialog.setWindowTitle(QString::fromStdString(request.caption));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(&dialog);
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
    if (!request.closeText.empty()) {
        buttons->button(QDialogButtonBox::Close)
            ->setText(QString::fromStdString(request.closeText));
    }
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(640, 560);
    dialog.exec();
}

}  // namespace

void QtUserInterface::ShowCertificate(const CertificateViewRequest& request) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return;
    }
    if (QThread::currentThread() == app->thread()) {
        ShowCertificateHere(request);
        return;
    }
    QMetaObject::invokeMethod(
        app, [&request] { ShowCertificateHere(request); }, Qt::BlockingQueuedConnection);
}

}  // namespace quillbox::ui
