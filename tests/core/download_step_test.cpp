#include <gtest/gtest.h>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/task_processor.h"
#include "log_file.h"
#include "platform/settings/settings_store.h"
#include "recording_user_interface.h"
#include "test_support.h"

namespace quillbox {
namespace {

class FakeDownloader : public TaskDownloader {
  public:
    DownloadedDocument answer;
    std::string url;
    int waitMessage = 0;
    bool waitDialog = false;
    DownloadedDocument Download(const std::string& u, int message, bool show) override {
        url = u;
        waitMessage = message;
        waitDialog = show;
        return answer;
    }
};

// Stands for the signed message: the content is the body after a "P7:" marker.
class FakeReader : public SignedMessageReader {
  public:
    std::optional<std::string> Content(std::string_view message) override {
        if (message.substr(0, 3) != "P7:") {
            return std::nullopt;
        }
        return std::string(message.substr(3));
    }
};

class DownloadStepTest : public ::testing::Test {
  protected:
    DownloadStepTest() {
        test::WriteFile(temp / "PenwrightA.log", "");
        globals = std::make_unique<CGlobals>(temp.path().string());
        CGlobals::SetInstanceForTesting(globals.get());
        settings::SetSettingsStore(&store);
        SetLanguage("en");
        TaskServices services;
        services.downloader = downloader;
        services.messageReader = std::make_shared<FakeReader>();
        processor = std::make_unique<TaskProcessor>(std::move(services));
    }
    ~DownloadStepTest() override {
        CGlobals::SetInstanceForTesting(nullptr);
        settings::SetSettingsStore(nullptr);
        ResetLanguageForTesting();
    }

    void SetSecureProtocols(std::uint32_t protocols) {
        ASSERT_TRUE(store.Write(settings::Root::CurrentUser, settings::kInternetSettingsKey,
                                settings::kSecureProtocolsName, settings::Value{protocols}));
    }
    std::int32_t Execute(std::string& response) {
        return processor->ExecuteTask("https://forms.test/task", response);
    }

    test::TempDir temp;
    std::unique_ptr<CGlobals> globals;
    settings::IniSettingsStore store{(temp / "user.ini").string(), (temp / "machine.ini").string()};
    test::RecordingUserInterface ui;
    std::shared_ptr<FakeDownloader> downloader = std::make_shared<FakeDownloader>();
    std::unique_ptr<TaskProcessor> processor;
};

TEST_F(DownloadStepTest, AcceptsOctetStreamWithParametersAndRunsTheTask) {
    SetSecureProtocols(0x2800);
    downloader->answer = {"P7:<getplugininfo/>", "Server: x", "200 OK",
                          "application/octet-stream; charset=binary"};
    std::string response;
    EXPECT_EQ(Execute(response), kTaskStatusOk);
    EXPECT_EQ(response,
              R"(<plugininfo result="ok"><summary name="ocx" version="1.31.0"/></plugininfo>)");
    EXPECT_EQ(downloader->url, "https://forms.test/task");
    EXPECT_EQ(downloader->waitMessage, 113);
    EXPECT_TRUE(downloader->waitDialog);
    EXPECT_EQ(processor->secureProtocols(), 0x2800u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DownloadStepTest, WithoutTls12ThePlaceholderMessageIsShown) {
    downloader->answer = {"", "", "", ""};  // nothing came back at all
    std::string response;
    EXPECT_EQ(Execute(response), kTaskStatusDownloadFailed);
    EXPECT_EQ(processor->secureProtocols(), 0u);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "???");
}

// Error pages and bodies that are not signed UTF-8 tasks: see task_download_e2e_test.
TEST_F(DownloadStepTest, ContentTypeIsComparedCaseSensitively) {
    SetSecureProtocols(0x800);
    std::string response = "untouched";
    downloader->answer = {"P7:<getplugininfo/>", "", "200 OK", "Application/Octet-Stream"};
    EXPECT_EQ(Execute(response), kTaskStatusDownloadFailed);
    EXPECT_EQ(response, "");
    // Not an error page: the body is not logged.
    EXPECT_EQ(test::ReadLogFile(temp / "PenwrightA.log").find("P7:"), std::string::npos);
}

}  // namespace
}  // namespace quillbox
