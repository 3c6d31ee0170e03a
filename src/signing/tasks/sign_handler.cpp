#include <optional>
#include <string>
#include <utility>

#include "core/globals.h"
#include "signing/tasks/signing_task_handlers.h"
#include "signing/tasks/signing_task_state.h"

namespace quillbox::signing {

SignHandler::SignHandler(std::shared_ptr<SigningTaskState> state) : state_(std::move(state)) {}

void SignHandler::Run(TaskContext& task) {
    const SigningContext& context = state_->Begin(task);
    // Without data that could be read (no "//data", an unknown algorithm, an empty text)
    // there is nothing defined to sign: answer with an error at once, before asking the
    // person for a certificate that could not be used. The result is set explicitly, so
    // an earlier task's result never makes such a task look signed.
    if (!context.HasData()) {
        QB_LOG(LogLevel::File, nullptr, "Sign: no data to sign");
        task.outcome.result = TaskResult::Error;
        return;
    }
    const xml::XmlNode certificate = task.document.SelectFirst("//certificate");
    if (const std::optional<std::string> id = certificate.Attribute("id"); id && !id->empty()) {
        // The page names the certificate: no dialog, and nothing remembered.
        state_->SignWith(*id, task.outcome);
        return;
    }
    state_->TakeFilter(certificate);
    state_->TakePreviewUrl(task.document);
    state_->RunCertificateDialog(DialogPurpose::Sign, task.outcome);
}

}  // namespace quillbox::signing
