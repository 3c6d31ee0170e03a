// The signature engine: the user's certificates on PKCS #11 tokens, found by CertificateId,
// and signatures made with their keys. Every failure is a CSignException with the engine's
// codes; a person cancelling the PIN prompt is a SignCancelled (sign_cancelled.h), which the
// sign handler answers with result "cancel" instead of an error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "platform/pkcs11/token_store.h"
#include "signing/engine/certificate_id.h"
#include "signing/engine/sign_cancelled.h"

namespace quillbox::signing {

// Logged when a token signs prepared blocks and the data is hashed here.
inline constexpr const char* kKeyStoragePathLog = "Using Cryptography API: Next Generation";

// Opens the tokens a front end chose: the product's front ends open the configured
// Cryptoki module (ConfiguredModulePath); the engine itself knows only the interface.
using TokenStoreOpener = std::function<std::unique_ptr<pkcs11::TokenStore>()>;

class CertificateStore {
  public:
    // Throws CSignException -16 when the opener's module cannot be loaded or initialised,
    // -6 when its tokens cannot be listed.
    explicit CertificateStore(const TokenStoreOpener& open);
    // Over any token store.
    explicit CertificateStore(std::unique_ptr<pkcs11::TokenStore> tokens);
    ~CertificateStore();
    CertificateStore(const CertificateStore&) = delete;
    CertificateStore& operator=(const CertificateStore&) = delete;

    const std::vector<pkcs11::TokenCertificate>& Certificates() const;
    const pkcs11::TokenStatus& TokenOf(const pkcs11::TokenCertificate& certificate) const;

    // Null when the id is not the Base64 text of 20 bytes or no certificate has that
    // thumbprint.
    const pkcs11::TokenCertificate* FindCertificateById(std::string_view id) const;

    // 0 and the DER in der, or the failure's code (-5 not found); never throws.
    std::int32_t GetCertificateBytes(std::string_view id,
                                     std::vector<std::uint8_t>& der) const noexcept;

    // A big-endian PKCS #1 v1.5 signature. algorithmId is one of algorithms.h; for kAlgRawRsa
    // the data is a digest of hashId (0: none, the data is then a complete DigestInfo).
    // The names ("SHA256", ...) are the ones the key-storage path hashes with. Throws
    // CSignException (-5, -9, -10, -11, -12, -4) or SignCancelled.
    std::vector<std::uint8_t> SignData(std::uint32_t algorithmId, std::uint32_t hashId,
                                       std::string_view algorithmName, std::string_view hashName,
                                       std::string_view id, std::span<const std::uint8_t> data);

    // The mechanisms the token of a certificate offers.
    std::set<pkcs11::Mechanism> MechanismsOf(const pkcs11::TokenCertificate& certificate) const;
    // One signature with the certificate's key and a mechanism as it stands (a TLS client
    // login asks for exactly that), with the same PIN prompt as SignData. Throws
    // CSignException (-4, -12) or SignCancelled.
    std::vector<std::uint8_t> SignWithMechanism(const pkcs11::TokenCertificate& certificate,
                                                pkcs11::Mechanism mechanism,
                                                std::span<const std::uint8_t> data);
    // Shows the certificate viewer; throws CSignException -5 when the id finds nothing.
    void ViewCertificate(std::string_view id) const;

  private:
    std::unique_ptr<pkcs11::TokenStore> tokens_;
    std::vector<Thumbprint> thumbprints_;  // parallel to Certificates()
};

}  // namespace quillbox::signing
