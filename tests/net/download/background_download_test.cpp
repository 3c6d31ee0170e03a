#include "net/download/background_download.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "wait_recorder.h"

namespace quillbox::net {
namespace {

using std::chrono::milliseconds;

struct Fetched {
    std::string body, headers, status, type;
    std::size_t length = 0;
};

// A transfer that takes `time` and answers 200 with body.
DownloadFunction Taking(milliseconds time, std::string body = "<task/>") {
    return [time, body](const std::string&, const ResponseOut& out) {
        std::this_thread::sleep_for(time);
        out.body->assign(body.begin(), body.end());
        out.body->push_back(0);  // the engine's uncounted terminator
        *out.bodyLength = body.size();
        *out.rawHeaders = "HTTP/1.1 200 OK\r\n";
        *out.statusText = "200";
        *out.contentType = "application/octet-stream";
        return ResultCode::Success;
    };
}

class BackgroundDownloadTest : public ::testing::Test {
  protected:
    BackgroundDownloadTest() { SetLanguage("en"); }
    ~BackgroundDownloadTest() override { ResetLanguageForTesting(); }

    Fetched Fetch(const DownloadFunction& download, bool showWaitDialog = true,
                  const std::string& url = "http://127.0.0.1/t") {
        Fetched f;
        f.length = DownloadInBackground(url, f.body, f.headers, f.status, f.type, 113,
                                        showWaitDialog, download);
        return f;
    }

    test::WaitRecorder ui;
};

TEST_F(BackgroundDownloadTest, AQuickDownloadShowsNoWindow) {
    const Fetched f = Fetch(Taking(milliseconds(20)));
    EXPECT_EQ(f.length, 7u);
    EXPECT_EQ(f.body, "<task/>");
    EXPECT_EQ(f.status, "200");
    EXPECT_EQ(f.type, "application/octet-stream");
    EXPECT_EQ(f.headers, "HTTP/1.1 200 OK\r\n");
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0]->request.text, "Downloading request...");
    EXPECT_FALSE(ui.dialogs[0]->shown);
    EXPECT_TRUE(ui.dialogs[0]->closed);
}

TEST_F(BackgroundDownloadTest, ASlowDownloadShowsTheWindowOnlyWithPermission) {
    Fetch(Taking(milliseconds(400)), false);
    // An earlier download's done flag must not end the next wait.
    Fetch(Taking(milliseconds(0)));
    Fetch(Taking(milliseconds(500)));
    ASSERT_EQ(ui.dialogs.size(), 3u);
    EXPECT_FALSE(ui.dialogs[0]->shown);
    EXPECT_TRUE(ui.dialogs[2]->shown);
}

TEST_F(BackgroundDownloadTest, AFailedDownloadGivesNoBody) {
    const Fetched failed = Fetch([](const std::string&, const ResponseOut& out) {
        *out.statusText = "404";
        *out.contentType = "text/html";
        return ResultCode::Failed;
    });
    EXPECT_EQ(failed.length, 0u);
    EXPECT_EQ(failed.status, "404");
    EXPECT_EQ(failed.type, "text/html");

    // A transfer that throws on the worker thread is a failed download, not a crash.
    const Fetched thrown = Fetch([](const std::string&, const ResponseOut& out) -> ResultCode {
        out.body->assign(100, 'x');
        *out.bodyLength = 100;
        throw std::runtime_error("boom");
    });
    EXPECT_EQ(thrown.body, "");
    // A length the block cannot hold is never read past the block.
    const Fetched liar = Fetch([](const std::string&, const ResponseOut& out) {
        out.body->assign(3, 'x');
        *out.bodyLength = 1000;
        return ResultCode::Success;
    });
    EXPECT_EQ(liar.length, 0u);
    EXPECT_EQ(liar.body, "");
}

TEST_F(BackgroundDownloadTest, DownloadsOfTwoThreadsRunOneAfterTheOther) {
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    const DownloadFunction counting = [&](const std::string& url, const ResponseOut& out) {
        if (++running > 1)
            overlapped = true;
        std::this_thread::sleep_for(milliseconds(150));
        --running;
        return Taking(milliseconds(0), url)(url, out);
    };
    Fetched a;
    std::thread other([&] { a = Fetch(counting, false, "A"); });
    const Fetched b = Fetch(counting, false, "B");
    other.join();
    EXPECT_FALSE(overlapped.load());
    EXPECT_EQ(a.body, "A");
    EXPECT_EQ(b.body, "B");
}

}  // namespace
}  // namespace quillbox::net
