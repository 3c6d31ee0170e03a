// The send task: a page's data delivered to a server by the plug-in itself, so that the
// server's login happens in the plug-in's dialogs; the server's answer goes back to the page.
#pragma once

#include "core/task_handler.h"
#include "net/transfer/client_cert_map.h"

namespace quillbox::net {

class SendHandler final : public TaskHandler {
  public:
    void Run(TaskContext& task) override;

  private:
    // Until a send ran to an answer (neither cancelled nor refused by the server).
    bool firstSend_ = true;
    ClientCertMap clientCertMap_;
};

void AddSendTaskHandler(HandlerTable& handlers);

}  // namespace quillbox::net
