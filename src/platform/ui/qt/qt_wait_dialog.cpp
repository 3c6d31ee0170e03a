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
#include <functional>

#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::ui {

namespace {

// Runs fn on the application's thread and waits for it.
void OnApplicationThread(const std::function<void()>& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    if (QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

// The plug-in's mark: a quill-coloured square with a "Q", drawn here so the dialog
// needs no image files.
QPixmap PluginIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2b, 0x57, 0x9a));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size * 2 / 3);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("Q"));
    return pixmap;
}

class WaitWindow final : public QDialog {
  public:
    explicit WaitWindow(const WaitDialogRequest& request) {
        setObjectName(QStringLiteral("quillboxWaitDialog"));
        setWindowTitle(QString::fromStdString(request.caption));
        QIcon icon;
        icon.addPixmap(PluginIcon(16));
        icon.addPixmap(PluginIcon(32));
        setWindowIcon(icon);

        auto* iconLabel = new QLabel(this);
        iconLabel->setPixmap(PluginIcon(32));
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

        // Stays above the browser and never ends an event loop the host runs.
        setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_QuitOnClose, false);
        setModal(false);
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

  private:
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

class QtWaitDialog final : public WaitDialog {
  public:
    explicit QtWaitDialog(const WaitDialogRequest& request) {
        OnApplicationThread([this, &request] { window_ = new WaitWindow(request); });
    }

    ~QtWaitDialog() override {
        OnApplicationThread([this] { delete window_.data(); });
    }

    void Show() override {
        OnApplicationThread([this] {
            if (window_) {
                window_->ShowCentred();
            }
        });
    }

    void SetProgress(int position) override {
        OnApplicationThread([this, position] {
            // OK and Cancel close the window but the wait goes on.
            if (window_ && window_->isVisible()) {
                window_->SetPosition(position);
            }
        });
    }

  private:
    QPointer<WaitWindow> window_;
};

}  // namespace

std::unique_ptr<WaitDialog> CreateQtWaitDialog(const WaitDialogRequest& request) {
    // Without a QApplication the dialog stays an empty shell that shows nothing.
    return std::make_unique<QtWaitDialog>(request);
}

std::unique_ptr<WaitDialog> QtUserInterface::CreateWaitDialog(const WaitDialogRequest& request) {
    return CreateQtWaitDialog(request);
}

}  // namespace quillbox::ui
