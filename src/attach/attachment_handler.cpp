#include "attach/attachment_handler.h"

#include "attach/pdf_area_handler.h"

#include <charconv>
#include <exception>
#include <limits>

#include "core/base64/base64_coder.h"
#include "core/globals.h"
#include "core/identity.h"
#include "core/messages/messages.h"
#include "core/sign_exception.h"
#include "platform/ui/user_interface.h"

namespace quillbox::attach {

namespace {

constexpr int kMsgAttachment = 105;
constexpr int kMsgNoScanAccessory = 184;
constexpr int kMsgOk = 112;
constexpr int kMsgCancel = 119;
constexpr std::int32_t kDefaultDpi = 300;
constexpr std::int32_t kScanFailed = 2;

std::string_view LanguageCode(std::uint16_t language) {
    switch (language) {
        case kLanguageCzech:
            return "cz";
        case kLanguageEnglish:
            return "en";
        case kLanguageSlovak:
            return "sk";
        default:
            return {};
    }
}

}  // namespace

std::string AttachmentName(std::string_view fileName) {
    std::string name;
    name.reserve(fileName.size() * 2);
    for (const char c : fileName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            name += '_';
        } else if (byte < 0x80) {
            name += c;
        } else {
            name += static_cast<char>(0xC0 | (byte >> 6));
            name += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return name;
}

std::int32_t ParseResolution(std::string_view text) {
    std::int32_t dpi = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), dpi);
    return error == std::errc() && end == text.data() + text.size() && dpi > 0 ? dpi : 0;
}

void AttachmentHandler::Run(TaskContext& task) {
    TaskOutcome& outcome = task.outcome;
    outcome.result = TaskResult::Error;
    outcome.attachmentContentGiven = false;
    outcome.attachmentContent.clear();
    outcome.attachmentPath.clear();
    outcome.attachmentName.clear();

    bool scan = false;
    std::int32_t dpi = 0;
    try {
        if (const xml::XmlNode element = task.document.SelectFirst("//attachment")) {
            scan = !element.Attribute("attachbehav").value_or("").empty();
            dpi = ParseResolution(element.Attribute("dpi").value_or(""));
        }
    } catch (const CSignException&) {
        throw;
    } catch (const std::exception& e) {
        QB_LOG(LogLevel::File, nullptr, "Attachment: %s", e.what());
        throw CSignException(-1, {}, false);
    }

    if (scan) {
        const std::int32_t result = Scan(task, dpi);
        if (result != kScanFailed) {
            outcome.result = static_cast<TaskResult>(result);
            return;
        }
        outcome.attachmentContentGiven = false;
        outcome.attachmentContent.clear();
    }

    ui::OpenFileRequest request;
    request.caption = BoxCaption(LoadMessage(kMsgAttachment));
    request.okText = LoadMessage(kMsgOk);
    request.cancelText = LoadMessage(kMsgCancel);
    request.language = IsoLanguageCode();
    const ui::OpenFileAnswer answer = ui::CurrentUserInterface().AskOpenFile(request);
    // The dialogs take only regular files; one that changed since is not sent.
    if (!answer.chosen || !ui::IsChoosableFile(answer.path)) {
        if (answer.chosen) {
            QB_LOG(LogLevel::File, nullptr, "Attachment: not a regular file: %s",
                   answer.path.c_str());
        }
        outcome.result = TaskResult::Cancel;
        return;
    }
    outcome.attachmentPath = answer.path;
    outcome.attachmentName = AttachmentName(answer.path.substr(answer.path.rfind('/') + 1));
    outcome.result = TaskResult::Ok;
}

std::int32_t AttachmentHandler::Scan(TaskContext& task, std::int32_t dpi) {
    std::unique_ptr<ScanAccessory> accessory = accessory_ ? accessory_() : nullptr;
    if (!accessory) {
        CGlobals::Get().LogText(LogLevel::Warning, nullptr, LoadMessage(kMsgNoScanAccessory));
        return kScanFailed;
    }
    if (const std::string_view code = LanguageCode(MessageLanguage()); !code.empty()) {
        accessory->SetLanguage(code);
    }
    ScanAccessory::Scan scan = accessory->ScanToPdf(dpi == 0 ? kDefaultDpi : dpi);
    if (scan.result != 0) {
        return scan.result;
    }
    // An empty document or one the coder cannot take is a failed scan, not an attachment.
    std::optional<std::string> content;
    if (!scan.pdf.empty() && scan.pdf.size() <= Base64Coder::kMaxEncodeCount) {
        content = task.base64.EncodeToString(scan.pdf.data(),
                                             static_cast<std::uint32_t>(scan.pdf.size()));
    }
    if (!content) {
        QB_LOG(LogLevel::File, nullptr, "Scan: no usable document (%zu bytes)", scan.pdf.size());
        return kScanFailed;
    }
    task.outcome.attachmentContentGiven = true;
    task.outcome.attachmentContent = std::move(*content);
    task.outcome.attachmentName = "scan.pdf";
    return 0;
}

void AddAttachTaskHandlers(HandlerTable& handlers, ScanAccessoryFactory accessory) {
    handlers[TaskKind::Attachment] = std::make_unique<AttachmentHandler>(std::move(accessory));
    handlers[TaskKind::GetPdfArea] = std::make_unique<PdfAreaHandler>();
}

}  // namespace quillbox::attach
