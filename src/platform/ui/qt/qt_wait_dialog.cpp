#include "platform/ui/qt/qt_wait_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <optional>

#include "platform/ui/qt/qt_dialog_owner.h"
#include "platform/ui/qt/qt_gui_thread.h"
#include "platform/ui/qt/qt_requester_line.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/qt/qt_window_look.h"
#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui {

namespace {

class WaitWindow final : public QDialog {
  public:
    explicit WaitWindow(const WaitDialogRequest& request) : QDialog(DialogOwner()) {
        setObjectName(QStringLiteral("quillboxWaitDialog"));
        setWindowTitle(QString::fromStdString(request.caption));

        auto* iconLabel = new QLabel(this);
        iconLabel->setPixmap(LogoPicture(32, devicePixelRatioF()));
        iconLabel->setAlignment(Qt::AlignTop);
        text_ = new QLabel(QString::fromStdString(request.text), this);
        text_->setTextFormat(Qt::PlainText);
        text_->setObjectName(QStringLiteral("text"));
        bar_ = new QProgressBar(this);
        bar_->setObjectName(QStringLiteral("progress"));
        bar_->setRange(0, 100);
        bar_->setValue(0);
        bar_->setTextVisible(false);
        bar_->setMinimumWidth(280);

        auto* column = new QVBoxLayout;
        column->addWidget(text_);
        column->addWidget(bar_);
        auto* row = new QHBoxLayout(this);
        row->addWidget(iconLabel);
        row->addLayout(column, 1);
        AddRequesterLine(*this, *column);

        SetUpWindow(*this, false);
    }

    void ShowCentred() {
        adjustSize();
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            move(screen->availableGeometry().center() - rect().center());
        }
        show();
        raise();
        // The waiting thread runs no event loop: let the window system map the window
        // once, then paint it directly.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        repaint();
    }

    void SetPosition(int position) {
        bar_->setValue(position);
        bar_->repaint();
    }

    WaitDialogRequest Seen() const {
        return {windowTitle().toStdString(), text_->text().toStdString()};
    }

  private:
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

class QtWaitDialog final : public WaitDialog {
  public:
    QtWaitDialog(const WaitDialogRequest& request, AnswerScript* script) : script_(script) {
        OnGuiThread([this, &request] { window_ = new WaitWindow(request); });
    }

    ~QtWaitDialog() override {
        OnGuiThread([this] {
            if (script_ != nullptr && window_) {
                nlohmann::json line = notes_.Line(window_->Seen());
                if (const std::string requester = RequesterShownIn(*window_); !requester.empty()) {
                    line["requester"] = requester;
                }
                script_->Record(std::move(line));
            }
            delete window_.data();
        });
    }

    void Show() override {
        OnGuiThread([this] {
            if (window_) {
                window_->ShowCentred();
                notes_.Shown();
            }
        });
    }

    void SetProgress(int position) override {
        OnGuiThread([this, position] {
            // OK and Cancel close the window but the wait goes on.
            if (window_ && window_->isVisible()) {
                window_->SetPosition(position);
                notes_.Progress(position);
            }
        });
    }

  private:
    QPointer<WaitWindow> window_;
    AnswerScript* script_;
    script::WaitNotes notes_;
};

}  // namespace

std::unique_ptr<WaitDialog> CreateQtWaitDialog(const WaitDialogRequest& request,
                                               AnswerScript* driver) {
    // Without a QApplication the dialog stays an empty shell that shows nothing.
    return std::make_unique<QtWaitDialog>(request, driver);
}

std::unique_ptr<WaitDialog> QtUserInterface::CreateWaitDialog(const WaitDialogRequest& request) {
    return CreateQtWaitDialog(request, driver_.get());
}

}  // namespace quillbox::ui
