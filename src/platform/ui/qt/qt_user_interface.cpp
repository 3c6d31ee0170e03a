#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "platform/ui/qt/qt_dialog_driver.h"
#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/scripted/dialog_scripts.h"

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
    button->setObjectName(QString::fromUtf8(script::AnswerName(answer)));
    if (!text.empty()) {
        button->setText(QString::fromStdString(text));
    }
}

// What the box shows, read back from its widgets.
MessageBoxRequest SeenIn(const QMessageBox& box, const MessageBoxRequest& request) {
    MessageBoxRequest seen = request;
    seen.caption = box.windowTitle().toStdString();
    seen.text = box.text().toStdString();
    for (auto [answer, text] : {std::pair{BoxAnswer::Ok, &seen.buttonTexts.ok},
                                {BoxAnswer::Cancel, &seen.buttonTexts.cancel},
                                {BoxAnswer::Yes, &seen.buttonTexts.yes},
                                {BoxAnswer::No, &seen.buttonTexts.no}}) {
        if (!text->empty()) {
            *text = box.button(QtButton(answer))->text().toStdString();
        }
    }
    return seen;
}

// Runs on the application's thread.
BoxAnswer ShowHere(const MessageBoxRequest& request, AnswerScript* driver) {
    QMessageBox box(DialogOwner());
    box.setWindowTitle(QString::fromStdString(request.caption));
    // Messages quote XML and server answers; rich text would swallow their tags.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(request.text));
    box.setIcon(QtIcon(request.icon));
    box.setInformativeText(QString::fromStdString(CurrentRequester()));
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
    SetUpWindow(box);
    // Closing the only window must not end an event loop the host application runs.

    std::optional<script::BoxPlan> plan;
    if (driver != nullptr) {
        plan = script::PlanMessageBox(*driver, request);
        driver::WhenShown(&box,
                          [&box, &plan] { driver::Press(box.button(QtButton(plan->answer))); });
    }
    BoxAnswer answer = fallback;
    switch (box.exec()) {
        case QMessageBox::Ok:
            answer = BoxAnswer::Ok;
            break;
        case QMessageBox::Cancel:
            answer = BoxAnswer::Cancel;
            break;
        case QMessageBox::Yes:
            answer = BoxAnswer::Yes;
            break;
        case QMessageBox::No:
            answer = BoxAnswer::No;
            break;
        default:
            break;
    }
    if (plan) {
        nlohmann::json line = script::MessageBoxLine(SeenIn(box, request), answer, plan->scripted);
        if (!box.informativeText().isEmpty()) {
            line["requester"] = box.informativeText().toStdString();
        }
        driver->Record(std::move(line), plan->problem);
    }
    return answer;
}

// Waits in a local event loop that takes no input: a click on the window behind the
// wait must not start a second action inside the first. Window-system events (painting)
// and the calls that other threads queue (their dialogs) are served.
class EventLoopWait final : public ThreadWait {
  public:
    void Beat(std::chrono::milliseconds beat) override {
        if (awake_) {
            return;
        }
        QEventLoop loop;
        loop_ = &loop;
        QTimer::singleShot(beat, &loop, &QEventLoop::quit);
        if (!awake_) {
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        loop_ = nullptr;
    }

    void Wake() override {
        awake_ = true;
        QMetaObject::invokeMethod(
            &receiver_,
            [this] {
                if (loop_ != nullptr) {
                    loop_->quit();
                }
            },
            Qt::QueuedConnection);
    }

  private:
    std::atomic<bool> awake_{false};
    QEventLoop* loop_ = nullptr;  // only touched on the application's thread
    QObject receiver_;            // lives on the application's thread
};

}  // namespace

QtUserInterface::QtUserInterface(std::shared_ptr<AnswerScript> driver)
    : driver_(std::move(driver)) {
    if (Application() == nullptr) {
        throw std::logic_error("QtUserInterface needs a QApplication");
    }
}

std::unique_ptr<ThreadWait> QtUserInterface::CreateThreadWait() {
    if (OnGuiThreadNow()) {
        return std::make_unique<EventLoopWait>();
    }
    return UserInterface::CreateThreadWait();
}

BoxAnswer QtUserInterface::ShowMessageBox(const MessageBoxRequest& box) {
    return OnGuiThread(DefaultAnswerOf(box), [&] { return ShowHere(box, driver_.get()); });
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
