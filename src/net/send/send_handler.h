// The send task: a page's data delivered to a server by the plug-in itself, so that the
// server's login happens in the plug-in's dialogs; the server's answer goes back to the page.
#pragma once

#include "core/task_handler.h"
#include "net/transfer/client_cert_map.h"
#include "signing/engine/certificate_store.h"

namespace quillbox::net {

class SendHandler final : public TaskHandler {
  public:
    void Run(TaskContext& task) override;

  private:
    // Until a send ran to an answer (neither cancelled nor refused by the server).
    bool firstSend_ = true;
    ClientCertMap clientCertMap_;
};

// openTokens: the tokens client certificates come from.
void AddSendTaskHandler(HandlerTable& handlers, const signing::TokenStoreOpener& openTokens);

}  // namespace quillbox::net
