#include "signing/tasks/signing_task_state.h"

#include <optional>
#include <utility>

#include "core/globals.h"
#include "core/registry.h"
#include "platform/ui/user_interface.h"
#include "signing/engine/certificate_store.h"
#include "signing/engine/sign_cancelled.h"

namespace quillbox::signing {

SigningTaskState::SigningTaskState(CertificateStoreFactory openStore, PreviewLoader previewLoader)
    : openStore_(std::move(openStore)), previewLoader_(std::move(previewLoader)) {}

SigningContext& SigningTaskState::Begin(const TaskContext& task) {
    filter_.clear();
    previewUrl_.clear();
    task.outcome.certificateId.clear();
    task.outcome.signatureValue.clear();
    task.outcome.certificate.clear();
    // The previous task's store goes first, so tokens are never held open twice.
    context_.reset();
    context_ =
        std::make_unique<SigningContext>(task.kind, task.document, openStore_(), task.base64);
    return *context_;
}

void SigningTaskState::TakeFilter(const xml::XmlNode& certificate) {
    if (std::optional<std::string> filter = certificate.Attribute("filter")) {
        filter_ = std::move(*filter);
    }
}

void SigningTaskState::TakePreviewUrl(const xml::XmlDocument& document) {
    if (std::optional<std::string> url = document.SelectFirst("//preview").Attribute("url")) {
        previewUrl_ = std::move(*url);
    }
}

void SigningTaskState::RunCertificateDialog(DialogPurpose purpose, TaskOutcome& outcome) {
    CPenwrightDlg dialog(previewLoader_);
    dialog.Prepare(purpose, context_->store(), filter_, previewUrl_, std::string());
    if (dialog.DoModal(ui::CurrentUserInterface()) != 0) {
        outcome.result = TaskResult::Cancel;
        return;
    }
    outcome.result = TaskResult::Ok;
    // Remembered before signing: the person chose it, even if the token then fails.
    if (!WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {},
                            settings::Value(dialog.chosenId()), kLastSignCertName)) {
        QB_LOG(LogLevel::File, nullptr, "Cannot write %s", std::string(kLastSignCertName).c_str());
    }
    SignWith(dialog.chosenId(), outcome);
}

void SigningTaskState::SignWith(std::string_view certificateId, TaskOutcome& outcome) {
    try {
        const std::int32_t status = context_->SignWithCertificate(certificateId);
        outcome.result = status == SigningContext::kStatusOk ? TaskResult::Ok : TaskResult::Error;
    } catch (const SignCancelled&) {
        QB_LOG(LogLevel::File, nullptr, "Signing cancelled at the PIN prompt");
        outcome.result = TaskResult::Cancel;
    }
    outcome.certificateId = context_->certificateId();
    outcome.signatureValue = context_->signatureValue();
    outcome.certificate = context_->certificate();
}

}  // namespace quillbox::signing
