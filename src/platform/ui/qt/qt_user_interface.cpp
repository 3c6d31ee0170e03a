#include "platform/ui/qt/qt_user_interface.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QString>
#include <QThread>
#include <cstdlib>
#include <stdexcept>

namespace quillbox::ui {

namespace {

QApplication* Application() {
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

QMessageBox::Icon QtIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::Information;
}

QMessageBox::StandardButton QtButton(BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return QMessageBox::Ok;
        case BoxAnswer::Cancel:
            return QMessageBox::Cancel;
        case BoxAnswer::Yes:
            return QMessageBox::Yes;
        case BoxAnswer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

void AddButton(QMessageBox& box, BoxAnswer answer, const std::string& text) {
    QPushButton* button = box.addButton(QtButton(answer));
    if (!text.empty()) {
        button->setText(QString::fromStdString(text));
    }
}

// Runs on the application's thread.
BoxAnswer ShowHere(const MessageBoxRequest& request) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(request.caption));
    // Messages quote XML and server answers; rich text would swallow their tags.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(request.text));
    box.setIcon(QtIcon(request.icon));
    const BoxButtonTexts& texts = request.buttonTexts;
    switch (request.buttons) {
        case BoxButtons::Ok:
            AddButton(box, BoxAnswer::Ok, texts.ok);
            break;
        case BoxButtons::OkCancel:
            AddButton(box, BoxAnswer::Ok, texts.ok);
            AddButton(box, BoxAnswer::Cancel, texts.cancel);
            break;
        case BoxButtons::YesNo:
            AddButton(box, BoxAnswer::Yes, texts.yes);
            AddButton(box, BoxAnswer::No, texts.no);
            break;
    }
    const BoxAnswer fallback = DefaultAnswerOf(request);
    box.setDefaultButton(QtButton(fallback));
    box.setEscapeButton(box.button(QtButton(fallback)));
    // There is no owner window: the box blocks the whole application and stays above
    // the browser that asked for it.
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
    // Closing the only window must not end an event loop the host application runs.
    box.setAttribute(Qt::WA_QuitOnClose, false);

    switch (box.exec()) {
        case QMessageBox::Ok:
            return BoxAnswer::Ok;
        case QMessageBox::Cancel:
            return BoxAnswer::Cancel;
        case QMessageBox::Yes:
            return BoxAnswer::Yes;
        case QMessageBox::No:
            return BoxAnswer::No;
        default:
            return fallback;
    }
}

}  // namespace

QtUserInterface::QtUserInterface() {
    if (Application() == nullptr) {
        throw std::logic_error("QtUserInterface needs a QApplication");
    }
}

BoxAnswer QtUserInterface::ShowMessageBox(const MessageBoxRequest& box) {
    QApplication* app = Application();
    if (app == nullptr) {
        return DefaultAnswerOf(box);
    }
    if (QThread::currentThread() == app->thread()) {
        return ShowHere(box);
    }
    BoxAnswer answer = DefaultAnswerOf(box);
    if (!QMetaObject::invokeMethod(
            app, [&answer, &box] { answer = ShowHere(box); }, Qt::BlockingQueuedConnection)) {
        return DefaultAnswerOf(box);
    }
    return answer;
}

bool QtDisplayAvailable() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

}  // namespace quillbox::ui
