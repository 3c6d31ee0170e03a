#include <utility>

#include "signing/tasks/signing_task_handlers.h"
#include "signing/tasks/signing_task_state.h"

namespace quillbox::signing {

ChooseCertificateHandler::ChooseCertificateHandler(std::shared_ptr<SigningTaskState> state)
    : state_(std::move(state)) {}

void ChooseCertificateHandler::Run(TaskContext& task) {
    state_->Begin(task);
    // A certificate id in the task is not for this kind: the person always chooses.
    state_->TakeFilter(task.document.SelectFirst("//certificate"));
    state_->TakePreviewUrl(task.document);
    state_->RunCertificateDialog(DialogPurpose::ChooseCertificate, task.outcome);
}

}  // namespace quillbox::signing
