// The OpenSSL side of a client certificate whose key stays on a token: the certificate and
// an RSA key object whose private operations go to the ClientKey, and the limits a handshake
// needs so that it only asks the key for what it can do.
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <memory>

#include "platform/http/client_key.h"

namespace quillbox::http::detail {

class TlsClientIdentity {
  public:
    // Null when the certificate cannot be read, its key is not RSA, or the key offers no
    // operation a handshake can use.
    static std::unique_ptr<TlsClientIdentity> Make(std::shared_ptr<ClientKey> key);
    ~TlsClientIdentity();
    TlsClientIdentity(const TlsClientIdentity&) = delete;
    TlsClientIdentity& operator=(const TlsClientIdentity&) = delete;

    // TLS 1.3 and RSA-PSS only where the key can sign that way; PKCS #1 signatures and
    // TLS 1.2 at most otherwise.
    bool Restrict(SSL_CTX* context) const;
    // New references, as the client-certificate callback hands them to OpenSSL.
    X509* NewCertificateReference() const;
    EVP_PKEY* NewKeyReference() const;
    // Whether a key operation since the last call was refused by the person.
    bool TakeCancelled();

    struct Shared;

  private:
    TlsClientIdentity() = default;
    X509* certificate_ = nullptr;
    EVP_PKEY* key_ = nullptr;
    std::shared_ptr<Shared> shared_;
};

}  // namespace quillbox::http::detail
