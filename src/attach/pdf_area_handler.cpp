#include "attach/pdf_area_handler.h"

#include <cerrno>
#include <exception>
#include <optional>

#include "attach/evm_signer.h"
#include "core/globals.h"
#include "core/sign_exception.h"

namespace quillbox::attach {

void PdfAreaHandler::Run(TaskContext& task) {
    task.outcome.result = TaskResult::Ok;
    task.outcome.pdfAreaCoords.clear();
    std::optional<CEvmSignerFile> signer;
    try {
        if (const xml::XmlNode file = task.document.SelectFirst("//pdffile")) {
            pdfPath_ = file.Text();
        }
        QB_LOG(LogLevel::File, nullptr, "Starting Signer...");
        signer.emplace();
        if (!signer->RequestArea(pdfPath_)) {
            ThrowSignerError(kMsgCannotSend, errno);
        }
        if (!signer->Start()) {
            ThrowSignerError(kMsgCannotStart, errno);
        }
        std::int32_t code = 0;
        std::string text;
        task.outcome.result = signer->ReadResult(code, text);
        signer->Close();
        // Only an area travels to the page; a failure's message stays in the log.
        if (task.outcome.result == TaskResult::Ok) {
            task.outcome.pdfAreaCoords = std::move(text);
        }
    } catch (const CSignException&) {
        task.outcome.result = TaskResult::Error;
        throw;  // the signer's folder goes with it
    } catch (const std::exception& e) {
        task.outcome.result = TaskResult::Error;
        QB_LOG(LogLevel::File, nullptr, "PDF area: %s", e.what());
        throw CSignException(-1, {}, false);
    }
}

}  // namespace quillbox::attach
