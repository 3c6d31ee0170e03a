#include "signing/tasks/signing_task_handlers.h"

#include <utility>

#include "signing/tasks/signing_task_state.h"

namespace quillbox::signing {

void AddSigningTaskHandlers(HandlerTable& handlers, CertificateStoreFactory openStore,
                            PreviewLoader previewLoader) {
    auto state = std::make_shared<SigningTaskState>(std::move(openStore), std::move(previewLoader));
    handlers[TaskKind::ChooseCert] = std::make_unique<ChooseCertificateHandler>(state);
    handlers[TaskKind::Sign] = std::make_unique<SignHandler>(state);
}

}  // namespace quillbox::signing
