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
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "net/download/background_download.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "platform/ui/scripted/answer_script.h"
#include "test_support.h"

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

// Ends the process when a case hangs, so the hang is this test's failure with a name,
// not the suite's time-out.
class HangGuard {
  public:
    explicit HangGuard(const char* what) {
        watchdog_ = std::thread([this, what] {
            std::unique_lock lock(mutex_);
            if (!changed_.wait_for(lock, std::chrono::seconds(20), [this] { return done_; })) {
                std::fprintf(stderr, "hung: %s\n", what);
                std::_Exit(3);
            }
        });
    }
    ~HangGuard() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        watchdog_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread watchdog_;
};

// A worker that asks for a dialog while the dialog thread waits for it: the box must be
// shown and answered, whether the dialog thread waits for the download itself or for its
// turn behind another thread's download.
TEST(DialogThreadWaitTest, DialogsAskedForDuringADownloadAreShown) {
    test::TempDir temp;
    test::WriteFile(temp / "answers.json", R"([{"dialog": "messagebox", "answer": "yes"}])");
    QtUserInterface ui(std::make_shared<AnswerScript>(temp / "answers.json", temp / "t.jsonl"));
    SetUserInterface(&ui);
    std::atomic<int> answers{0};
    auto asking = [&answers](const std::string&, const net::ResponseOut& out) {
        MessageBoxRequest box;
        box.buttons = BoxButtons::YesNo;
        box.defaultAnswer = BoxAnswer::No;
        answers += CurrentUserInterface().ShowMessageBox(box) == BoxAnswer::Yes ? 10 : 1;
        *out.statusText = "200";
        return net::ResultCode::Success;
    };
    std::string body, headers, status, type;
    {
        HangGuard guard("a download on the dialog thread asked for a box");
        net::DownloadInBackground("http://127.0.0.1/t", body, headers, status, type, 113, true,
                                  asking);
    }
    EXPECT_EQ(answers, 10);  // the script's answer

    HangGuard guard("the dialog thread waited for its turn behind a download asking for a box");
    std::thread other([&] {
        std::string b, h, s, t;
        net::DownloadInBackground("http://127.0.0.1/o", b, h, s, t, 113, false,
                                  [&](const std::string& url, const net::ResponseOut& out) {
                                      std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                      return asking(url, out);
                                  });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    net::DownloadInBackground("http://127.0.0.1/t", body, headers, status, type, 113, false,
                              [](const std::string&, const net::ResponseOut& out) {
                                  *out.statusText = "200";
                                  return net::ResultCode::Success;
                              });
    other.join();
    EXPECT_EQ(answers, 11);  // the script is used up: the default answer
    SetUserInterface(nullptr);
}

}  // namespace
}  // namespace quillbox::ui
