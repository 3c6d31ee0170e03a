#include "net/send/token_client_key.h"

#include <utility>

#include "core/globals.h"
#include "core/sign_exception.h"
#include "signing/engine/sign_cancelled.h"

namespace quillbox::net {
namespace {

pkcs11::Mechanism MechanismFor(http::KeyOperation operation) {
    return operation == http::KeyOperation::Pkcs1 ? pkcs11::Mechanism::RsaPkcs
                                                  : pkcs11::Mechanism::RsaRaw;
}

const char* MechanismName(pkcs11::Mechanism mechanism) {
    return mechanism == pkcs11::Mechanism::RsaPkcs ? "CKM_RSA_PKCS" : "CKM_RSA_X_509";
}

}  // namespace

TokenClientKey::TokenClientKey(std::shared_ptr<signing::CertificateStore> store,
                               const pkcs11::TokenCertificate& certificate)
    : store_(std::move(store)),
      certificate_(certificate),
      mechanisms_(store_->MechanismsOf(certificate)) {}

bool TokenClientKey::Offers(http::KeyOperation operation) const {
    return certificate_.hasPrivateKey && mechanisms_.count(MechanismFor(operation)) != 0;
}

http::KeyOutcome TokenClientKey::Sign(http::KeyOperation operation,
                                      std::span<const std::uint8_t> input,
                                      std::vector<std::uint8_t>& signature) {
    const pkcs11::Mechanism mechanism = MechanismFor(operation);
    QB_LOG(LogLevel::File, nullptr, "Client certificate signs with %s", MechanismName(mechanism));
    try {
        signature = store_->SignWithMechanism(certificate_, mechanism, input);
        return http::KeyOutcome::Done;
    } catch (const signing::SignCancelled&) {
        return http::KeyOutcome::Cancelled;
    } catch (const CSignException& error) {
        QB_LOG(LogLevel::File, nullptr, "Client certificate key failed: %s", error.what());
        return http::KeyOutcome::Failed;
    }
}

}  // namespace quillbox::net
