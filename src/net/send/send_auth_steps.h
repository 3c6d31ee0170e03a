// The server-authentication steps a send's connections run, installed for the whole process:
// the data-box login, the trusted data-box domains, and the client certificate.
#pragma once

#include <string>
#include <vector>

#include "net/transfer/server_auth_steps.h"
#include "signing/engine/certificate_store.h"

namespace quillbox::net {

class SendAuthSteps final : public ServerAuthSteps {
  public:
    explicit SendAuthSteps(signing::TokenStoreOpener openTokens)
        : openTokens_(std::move(openTokens)) {}
    std::vector<std::string> TrustedDomainSuffixes() override;
    StepAnswer ClientCertificate(IntConn& connection) override;
    StepAnswer DataBoxLogin(IntConn& connection, NetStatusCallback callback) override;
    void ExchangeSucceeded(IntConn& connection) override;

  private:
    signing::TokenStoreOpener openTokens_;
};

// Installs the steps for the whole process, with the tokens the front end chose (once;
// later calls do nothing).
void InstallSendAuthSteps(const signing::TokenStoreOpener& openTokens);

}  // namespace quillbox::net
