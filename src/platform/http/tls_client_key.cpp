// The RSA key object is a "foreign" key to OpenSSL 3 (its method is not the built-in one), so
// signatures with it take the legacy path through its RSA method. The deprecation of that
// interface is accepted here: a provider would do the same with far more code, and none is
// packaged for tokens. (An RSA key method registered for the token's own PSS mechanism was
// tried and dropped: OpenSSL then runs every RSA key of the process through it.)
#define OPENSSL_SUPPRESS_DEPRECATED

#include "platform/http/tls_client_key.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstring>
#include <string>
#include <utility>

namespace quillbox::http::detail {

struct TlsClientIdentity::Shared {
    std::shared_ptr<ClientKey> key;
    std::atomic<bool> cancelled{false};
};

namespace {

using Shared = TlsClientIdentity::Shared;

void FreeShared(void*, void* pointer, CRYPTO_EX_DATA*, int, long, void*) {
    delete static_cast<std::shared_ptr<Shared>*>(pointer);
}

int SharedIndex() {
    static const int index = RSA_get_ex_new_index(0, nullptr, nullptr, nullptr, &FreeShared);
    return index;
}

Shared* SharedOf(const RSA* rsa) {
    auto* holder = static_cast<std::shared_ptr<Shared>*>(RSA_get_ex_data(rsa, SharedIndex()));
    return holder != nullptr ? holder->get() : nullptr;
}

// Runs the operation and writes the signature into `to`, left-padded to the modulus' size.
int RunOperation(Shared& shared, KeyOperation operation, const unsigned char* from, int length,
                 unsigned char* to, int modulusSize) {
    std::vector<std::uint8_t> signature;
    const KeyOutcome outcome = shared.key->Sign(
        operation, std::span<const std::uint8_t>(from, static_cast<std::size_t>(length)),
        signature);
    if (outcome == KeyOutcome::Cancelled)
        shared.cancelled = true;
    if (outcome != KeyOutcome::Done || signature.size() > static_cast<std::size_t>(modulusSize))
        return -1;
    const std::size_t pad = static_cast<std::size_t>(modulusSize) - signature.size();
    std::memset(to, 0, pad);
    std::memcpy(to + pad, signature.data(), signature.size());
    return modulusSize;
}

// PKCS #1 signatures arrive here as a DigestInfo, PSS ones as a block OpenSSL already padded.
int PrivateEncrypt(int length, const unsigned char* from, unsigned char* to, RSA* rsa,
                   int padding) {
    Shared* shared = SharedOf(rsa);
    if (shared == nullptr)
        return -1;
    KeyOperation operation;
    if (padding == RSA_PKCS1_PADDING)
        operation = KeyOperation::Pkcs1;
    else if (padding == RSA_NO_PADDING)
        operation = KeyOperation::Raw;
    else
        return -1;
    if (!shared->key->Offers(operation))
        return -1;
    return RunOperation(*shared, operation, from, length, to, RSA_size(rsa));
}

const RSA_METHOD* TokenRsaMethod() {
    static RSA_METHOD* method = [] {
        RSA_METHOD* m = RSA_meth_dup(RSA_PKCS1_OpenSSL());
        RSA_meth_set1_name(m, "quillbox token key");
        RSA_meth_set_priv_enc(m, &PrivateEncrypt);
        // Decryption is never a client's part of a handshake.
        RSA_meth_set_priv_dec(m, nullptr);
        return m;
    }();
    return method;
}

void AppendSigalg(std::string& list, const char* name) {
    if (!list.empty())
        list += ':';
    list += name;
}

}  // namespace

std::unique_ptr<TlsClientIdentity> TlsClientIdentity::Make(std::shared_ptr<ClientKey> key) {
    if (!key || !(key->Offers(KeyOperation::Pkcs1) || key->Offers(KeyOperation::Raw)))
        return nullptr;
    const auto& der = key->CertificateDer();
    const unsigned char* cursor = der.data();
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(der.size()));
    if (certificate == nullptr)
        return nullptr;
    std::unique_ptr<TlsClientIdentity> identity(new TlsClientIdentity());
    identity->certificate_ = certificate;
    const EVP_PKEY* publicKey = X509_get0_pubkey(certificate);
    const RSA* publicRsa = publicKey != nullptr ? EVP_PKEY_get0_RSA(publicKey) : nullptr;
    if (publicRsa == nullptr)
        return nullptr;
    RSA* rsa = RSAPublicKey_dup(publicRsa);
    if (rsa == nullptr)
        return nullptr;
    identity->shared_ = std::make_shared<Shared>();
    identity->shared_->key = std::move(key);
    auto* holder = new std::shared_ptr<Shared>(identity->shared_);
    if (RSA_set_ex_data(rsa, SharedIndex(), holder) != 1) {
        delete holder;
        RSA_free(rsa);
        return nullptr;
    }
    RSA_set_method(rsa, TokenRsaMethod());
    EVP_PKEY* pkey = EVP_PKEY_new();
    if (pkey == nullptr || EVP_PKEY_assign_RSA(pkey, rsa) != 1) {
        EVP_PKEY_free(pkey);
        RSA_free(rsa);
        return nullptr;
    }
    identity->key_ = pkey;
    return identity;
}

TlsClientIdentity::~TlsClientIdentity() {
    EVP_PKEY_free(key_);
    X509_free(certificate_);
}

bool TlsClientIdentity::Restrict(SSL_CTX* context) const {
    const ClientKey& key = *shared_->key;
    std::string list;
    if (key.Offers(KeyOperation::Raw)) {
        for (const char* name :
             {"rsa_pss_rsae_sha256", "rsa_pss_rsae_sha384", "rsa_pss_rsae_sha512"})
            AppendSigalg(list, name);
    }
    if (key.Offers(KeyOperation::Raw) || key.Offers(KeyOperation::Pkcs1)) {
        for (const char* name : {"RSA+SHA256", "RSA+SHA384", "RSA+SHA512"})
            AppendSigalg(list, name);
    }
    if (list.empty())
        return false;
    // TLS 1.3 signs with RSA-PSS only.
    if (!key.Offers(KeyOperation::Raw) &&
        SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION) != 1)
        return false;
    return SSL_CTX_set1_client_sigalgs_list(context, list.c_str()) == 1;
}

X509* TlsClientIdentity::NewCertificateReference() const {
    X509_up_ref(certificate_);
    return certificate_;
}

EVP_PKEY* TlsClientIdentity::NewKeyReference() const {
    EVP_PKEY_up_ref(key_);
    return key_;
}

bool TlsClientIdentity::TakeCancelled() {
    return shared_->cancelled.exchange(false);
}

}  // namespace quillbox::http::detail
