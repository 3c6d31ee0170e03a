// A client certificate for TLS whose private key stays where it is (on a token): the
// handshake hands the key holder the one private-key operation it needs and never sees the
// key itself.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillbox::http {

enum class KeyOperation {
    Pkcs1,  // PKCS #1 v1.5 signature over a complete DigestInfo
    // The bare RSA private operation over a block of the modulus' size: RSA-PSS, which
    // TLS 1.3 demands, padded by the TLS library.
    Raw,
};

enum class KeyOutcome { Done, Cancelled, Failed };

class ClientKey {
  public:
    virtual ~ClientKey() = default;
    // The certificate sent to the server (DER); its public key is the key's.
    virtual const std::vector<std::uint8_t>& CertificateDer() const = 0;
    virtual bool Offers(KeyOperation operation) const = 0;
    // Runs on the thread of the transfer, inside the handshake: it may ask a person for a
    // PIN. Cancelled: the person refused, and the transfer says so instead of failing.
    virtual KeyOutcome Sign(KeyOperation operation, std::span<const std::uint8_t> input,
                            std::vector<std::uint8_t>& signature) = 0;
};

}  // namespace quillbox::http
