// A certificate on a token as the key of a TLS client login: the handshake's private-key
// operation becomes one signature by the token, with the PIN prompt signing uses.
#pragma once

#include <memory>
#include <set>
#include <span>
#include <vector>

#include "platform/http/client_key.h"
#include "platform/pkcs11/token_store.h"
#include "signing/engine/certificate_store.h"

namespace quillbox::net {

class TokenClientKey final : public http::ClientKey {
  public:
    // The store must hold the certificate; it is kept open as long as the key lives.
    TokenClientKey(std::shared_ptr<signing::CertificateStore> store,
                   const pkcs11::TokenCertificate& certificate);

    const std::vector<std::uint8_t>& CertificateDer() const override { return certificate_.der; }
    bool Offers(http::KeyOperation operation) const override;
    http::KeyOutcome Sign(http::KeyOperation operation, std::span<const std::uint8_t> input,
                          std::vector<std::uint8_t>& signature) override;

  private:
    std::shared_ptr<signing::CertificateStore> store_;
    pkcs11::TokenCertificate certificate_;
    std::set<pkcs11::Mechanism> mechanisms_;
};

}  // namespace quillbox::net
