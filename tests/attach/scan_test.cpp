// The scan branch of the attachment task with a fake accessory: a scanned document goes to
// the page as "scan.pdf", a cancel ends the task, a failure or an empty document sends the
// person to the file dialog.
#include <gtest/gtest.h>

#include "attach/attachment_handler.h"
#include "core/base64/base64_coder.h"
#include "core/messages/messages.h"
#include "platform/ui/user_interface.h"

namespace quillbox::attach {
namespace {

class FakeAccessory final : public ScanAccessory {
  public:
    FakeAccessory(Scan scan, std::vector<std::string>& calls)
        : scan_(std::move(scan)), calls_(calls) {}
    void SetLanguage(std::string_view code) override {
        calls_.push_back("language " + std::string(code));
    }
    Scan ScanToPdf(std::int32_t dpi) override {
        calls_.push_back("scan " + std::to_string(dpi));
        return scan_;
    }

  private:
    Scan scan_;
    std::vector<std::string>& calls_;
};

class CountingUserInterface final : public ui::UserInterface {
  public:
    CountingUserInterface() { ui::SetUserInterface(this); }
    ~CountingUserInterface() override { ui::SetUserInterface(nullptr); }
    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest&) override {
        return ui::BoxAnswer::Ok;
    }
    ui::OpenFileAnswer AskOpenFile(const ui::OpenFileRequest&) override {
        ++fileDialogs;
        return {};
    }
    int fileDialogs = 0;
};

TEST(ScanTest, ScannedDocumentOrTheFileDialog) {
    ASSERT_TRUE(SetLanguage("sk"));
    const struct {
        std::string name, dpi;
        ScanAccessory::Scan scan;
        TaskResult result;
        int fileDialogs;
        std::string content, scanCall;
    } cases[] = {
        {"scanned", "", {0, {'%', 'P', 'D', 'F'}}, TaskResult::Ok, 0, "JVBERg==", "scan 300"},
        {"cancelled", "150", {1, {}}, TaskResult::Cancel, 0, "", "scan 150"},
        {"failed", "0", {2, {}}, TaskResult::Cancel, 1, "", "scan 300"},
        {"empty document", "99999999999", {0, {}}, TaskResult::Cancel, 1, "", "scan 300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> calls;
        AttachmentHandler handler([&] { return std::make_unique<FakeAccessory>(c.scan, calls); });
        const auto document =
            xml::XmlDocument::Parse("<attachment attachbehav=\"scan\" dpi=\"" + c.dpi + "\"/>");
        TaskOutcome outcome;
        Base64Coder coder;
        CountingUserInterface ui;
        TaskContext task{TaskKind::Attachment, *document, document->Root(), outcome, coder};
        handler.Run(task);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(ui.fileDialogs, c.fileDialogs);
        EXPECT_EQ(outcome.attachmentContentGiven, !c.content.empty());
        EXPECT_EQ(outcome.attachmentContent, c.content);
        EXPECT_EQ(outcome.attachmentName, c.content.empty() ? "" : "scan.pdf");
        EXPECT_EQ(calls, (std::vector<std::string>{"language sk", c.scanCall}));
    }
}

}  // namespace
}  // namespace quillbox::attach
