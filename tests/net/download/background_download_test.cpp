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

// A transfer that takes `time` and answers with body.
DownloadFunction Taking(milliseconds time, std::string body = "<task/>") {
    return [time, body](const std::string&, const ResponseOut& out) {
        std::this_thread::sleep_for(time);
        out.body->assign(body.begin(), body.end());
        out.body->push_back(0);  // the engine's uncounted terminator
        *out.bodyLength = body.size();
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

// The window shows only for a slow download and with permission, and always goes with the
// download; an earlier download's done flag must not end the next wait.
TEST_F(BackgroundDownloadTest, TheWindowShowsOnlyForASlowDownloadWithPermission) {
    Fetch(Taking(milliseconds(20)));
    Fetch(Taking(milliseconds(400)), false);
    Fetch(Taking(milliseconds(0)));
    Fetch(Taking(milliseconds(500)));
    ASSERT_EQ(ui.dialogs.size(), 4u);
    EXPECT_EQ(ui.dialogs[0]->request.text, "Downloading request...");
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ui.dialogs[i]->shown, i == 3) << i;
        EXPECT_TRUE(ui.dialogs[i]->closed) << i;
    }
}

// A transfer that throws on the worker thread is a failed download, not a crash; a length the
// block cannot hold is never read past the block.
TEST_F(BackgroundDownloadTest, BrokenTransfersGiveNoBody) {
    const Fetched thrown = Fetch([](const std::string&, const ResponseOut& out) -> ResultCode {
        out.body->assign(100, 'x');
        *out.bodyLength = 100;
        throw std::runtime_error("boom");
    });
    EXPECT_EQ(thrown.body, "");
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
