// The handlers of the choosecert and sign tasks.
#pragma once

#include <memory>

#include "core/task_handler.h"
#include "signing/dialog/penwright_dialog.h"
#include "signing/tasks/signing_context.h"

namespace quillbox::signing {

class SigningTaskState;

// Lets the person choose a certificate and answers with it; never signs.
class ChooseCertificateHandler final : public TaskHandler {
  public:
    explicit ChooseCertificateHandler(std::shared_ptr<SigningTaskState> state);
    void Run(TaskContext& task) override;

  private:
    std::shared_ptr<SigningTaskState> state_;
};

// Signs the task's data with the certificate the task names or the person chooses.
class SignHandler final : public TaskHandler {
  public:
    explicit SignHandler(std::shared_ptr<SigningTaskState> state);
    void Run(TaskContext& task) override;

  private:
    std::shared_ptr<SigningTaskState> state_;
};

// Adds both handlers, sharing one state, for kinds ChooseCert and Sign.
void AddSigningTaskHandlers(HandlerTable& handlers, CertificateStoreFactory openStore,
                            PreviewLoader previewLoader);

}  // namespace quillbox::signing
