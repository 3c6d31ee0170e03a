// What the choose-certificate and sign tasks of one processor share: the signing context
// of the current task, the dialog's filter and preview URL, and the steps both tasks end
// with (the certificate dialog, then the signature or the certificate).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/task_handler.h"
#include "signing/dialog/penwright_dialog.h"
#include "signing/tasks/signing_context.h"

namespace quillbox::signing {

// Settings value naming the certificate last confirmed for a sign or choosecert task.
inline constexpr std::string_view kLastSignCertName = "LastSignCert";

class SigningTaskState {
  public:
    SigningTaskState(CertificateStoreFactory openStore, PreviewLoader previewLoader);

    // Starts a task: empties the filter, the preview URL and the outcome's certificate
    // fields, releases the previous context and opens a new one (which reads "//data").
    // Throws what opening the store throws.
    SigningContext& Begin(const TaskContext& task);

    // Reads the "filter" of "//certificate" and the "url" of "//preview" when present.
    void TakeFilter(const xml::XmlNode& certificate);
    void TakePreviewUrl(const xml::XmlDocument& document);

    // Shows the certificate dialog; a confirmed certificate is remembered as
    // "LastSignCert" and then used by SignWith. Cancelled: result cancel.
    void RunCertificateDialog(DialogPurpose purpose, TaskOutcome& outcome);

    // Signs with (or, for choosecert, fetches) the certificate and sets the result and
    // the outcome's certificate fields. A cancelled PIN prompt gives result cancel.
    void SignWith(std::string_view certificateId, TaskOutcome& outcome);

    SigningContext* context() const { return context_.get(); }
    const std::string& filter() const { return filter_; }
    const std::string& previewUrl() const { return previewUrl_; }

  private:
    CertificateStoreFactory openStore_;
    PreviewLoader previewLoader_;
    std::unique_ptr<SigningContext> context_;
    std::string filter_;
    std::string previewUrl_;
};

}  // namespace quillbox::signing
