// The Qt wait dialog as the download's wait loop drives it, offscreen.
#include "platform/ui/qt/qt_wait_dialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "net/download/background_download.h"
#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::ui {
namespace {

QWidget* FindWaitWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QStringLiteral("quillboxWaitDialog"))
            return widget;
    return nullptr;
}

// What a person would see each time the bar moves, read from the thread that owns the dialog.
struct Sight {
    int position = -1, barValue = -1;
    bool visible = false, painted = false;
    QString text, title;
};

class WatchingUserInterface final : public UserInterface {
  public:
    BoxAnswer ShowMessageBox(const MessageBoxRequest& box) override { return DefaultAnswerOf(box); }
    std::unique_ptr<WaitDialog> CreateWaitDialog(const WaitDialogRequest& request) override {
        return std::make_unique<Watched>(*this, CreateQtWaitDialog(request));
    }
    std::vector<Sight> sights;

  private:
    class Watched final : public WaitDialog {
      public:
        Watched(WatchingUserInterface& owner, std::unique_ptr<WaitDialog> real)
            : owner_(owner), real_(std::move(real)) {}
        void Show() override { real_->Show(); }
        void SetProgress(int position) override {
            real_->SetProgress(position);
            Sight sight;
            sight.position = position;
            auto look = [&sight] {
                QWidget* window = FindWaitWindow();
                if (window == nullptr)
                    return;
                sight.visible = window->isVisible();
                sight.title = window->windowTitle();
                if (auto* label = window->findChild<QLabel*>(QStringLiteral("text")))
                    sight.text = label->text();
                if (auto* bar = window->findChild<QProgressBar*>(QStringLiteral("progress")))
                    sight.barValue = bar->value();
                const QImage image = window->grab().toImage();
                sight.painted = !image.isNull() && image.width() > 100;
            };
            if (QThread::currentThread() == qApp->thread())
                look();
            else
                QMetaObject::invokeMethod(qApp, look, Qt::BlockingQueuedConnection);
            owner_.sights.push_back(sight);
        }

      private:
        WatchingUserInterface& owner_;
        std::unique_ptr<WaitDialog> real_;
    };
};

class QtWaitDialogTest : public ::testing::Test {
  protected:
    QtWaitDialogTest() {
        SetLanguage("en");
        SetUserInterface(&ui);
    }
    ~QtWaitDialogTest() override {
        SetUserInterface(nullptr);
        ResetLanguageForTesting();
    }

    void Fetch(std::chrono::milliseconds time) {
        std::string body, headers, status, type;
        net::DownloadInBackground("http://127.0.0.1/t", body, headers, status, type, 113, true,
                                  [time](const std::string&, const net::ResponseOut& out) {
                                      std::this_thread::sleep_for(time);
                                      *out.statusText = "200";
                                      return net::ResultCode::Success;
                                  });
    }

    WatchingUserInterface ui;
};

// The waiting thread paints the dialog without an event loop; a download on another thread
// has its dialog drawn by the application thread. Either way the window goes with the download.
TEST_F(QtWaitDialogTest, DrawnOnTheWaitingOrTheApplicationThread) {
    Fetch(std::chrono::milliseconds(1000));
    ASSERT_GE(ui.sights.size(), 2u);
    for (const Sight& sight : ui.sights) {
        EXPECT_TRUE(sight.visible);
        EXPECT_EQ(sight.barValue, sight.position);
        EXPECT_EQ(sight.text, QStringLiteral("Downloading request..."));
        EXPECT_EQ(sight.title, QStringLiteral("Quillbox Plug-in (32b) 1.31.0.81"));
        EXPECT_TRUE(sight.painted);
    }
    EXPECT_EQ(FindWaitWindow(), nullptr);

    ui.sights.clear();
    std::atomic<bool> done{false};
    std::thread caller([&] {
        Fetch(std::chrono::milliseconds(800));
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done)
            loop.quit();
    });
    poll.start(10);
    loop.exec();
    caller.join();
    ASSERT_FALSE(ui.sights.empty());
    EXPECT_TRUE(ui.sights.back().visible);
    EXPECT_EQ(ui.sights.back().barValue, ui.sights.back().position);
    EXPECT_EQ(FindWaitWindow(), nullptr);
}

}  // namespace
}  // namespace quillbox::ui
