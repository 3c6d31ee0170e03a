// The Qt wait dialog as the download's wait loop drives it, offscreen.
#include "platform/ui/qt/qt_wait_dialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <set>
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

// The download's own thread waits without an event loop (painting it then is the desktop
// test's); here the application thread runs its loop and must draw the dialog of a download
// on another thread, with the bar moving, and take it away with the download.
TEST(QtWaitDialogTest, ADownloadOnAnotherThreadHasItsDialogDrawnByTheApplicationThread) {
    SetLanguage("en");
    QtUserInterface ui;
    SetUserInterface(&ui);
    std::atomic<bool> done{false};
    std::thread caller([&done] {
        std::string body, headers, status, type;
        net::DownloadInBackground("http://127.0.0.1/t", body, headers, status, type, 113, true,
                                  [](const std::string&, const net::ResponseOut& out) {
                                      std::this_thread::sleep_for(std::chrono::milliseconds(800));
                                      *out.statusText = "200";
                                      return net::ResultCode::Success;
                                  });
        done = true;
    });
    std::set<int> positions;
    bool painted = false;
    QString text;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* window = FindWaitWindow(); window != nullptr && window->isVisible()) {
            positions.insert(window->findChild<QProgressBar*>(QStringLiteral("progress"))->value());
            text = window->findChild<QLabel*>(QStringLiteral("text"))->text();
            const QImage image = window->grab().toImage();
            painted = painted || (!image.isNull() && image.width() > 100);
        }
        if (done)
            loop.quit();
    });
    poll.start(10);
    loop.exec();
    caller.join();
    EXPECT_TRUE(painted);
    EXPECT_GE(positions.size(), 3u);
    EXPECT_EQ(text, QStringLiteral("Downloading request..."));
    EXPECT_EQ(FindWaitWindow(), nullptr);
    SetUserInterface(nullptr);
    ResetLanguageForTesting();
}

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
    net::DownloadInBackground("http://127.0.0.1/t", body, headers, status, type, 113, true, asking);
    EXPECT_EQ(answers, 10);  // the script's answer

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
