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

// Writes down each call into calls.
struct FakeAccessory final : ScanAccessory {
    FakeAccessory(Scan result, std::vector<std::string>& log)
        : scan(std::move(result)), calls(log) {}
    void SetLanguage(std::string_view code) override { calls.push_back(std::string(code)); }
    Scan ScanToPdf(std::int32_t dpi) override {
        calls.push_back(std::to_string(dpi));
        return scan;
    }
    Scan scan;
    std::vector<std::string>& calls;
};

struct CountingUserInterface final : ui::UserInterface {
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
        {"scanned", "", {0, {'%', 'P', 'D', 'F'}}, TaskResult::Ok, 0, "JVBERg==", "300"},
        {"cancelled", "150", {1, {}}, TaskResult::Cancel, 0, "", "150"},
        {"failed", "0", {2, {}}, TaskResult::Cancel, 1, "", "300"},
        {"empty document", "99999999999", {0, {}}, TaskResult::Cancel, 1, "", "300"},
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
        ui::SetUserInterface(&ui);
        TaskContext task{TaskKind::Attachment, *document, document->Root(), outcome, coder};
        handler.Run(task);
        ui::SetUserInterface(nullptr);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(ui.fileDialogs, c.fileDialogs);
        EXPECT_EQ(outcome.attachmentContentGiven, !c.content.empty());
        EXPECT_EQ(outcome.attachmentContent, c.content);
        EXPECT_EQ(outcome.attachmentName, c.content.empty() ? "" : "scan.pdf");
        EXPECT_EQ(calls, (std::vector<std::string>{"sk", c.scanCall}));
    }
}

}  // namespace
}  // namespace quillbox::attach
