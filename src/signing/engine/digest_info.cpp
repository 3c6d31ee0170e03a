#include "signing/engine/digest_info.h"
#include "platform/system/free_with.h"

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <limits>
#include <memory>

namespace quillbox::signing {

namespace {

const EVP_MD* Digest(HashKind hash) {
    switch (hash) {
        case HashKind::Md5:
            return EVP_md5();
        case HashKind::Sha1:
            return EVP_sha1();
        case HashKind::Sha256:
            return EVP_sha256();
        case HashKind::Sha384:
            return EVP_sha384();
        case HashKind::Sha512:
            return EVP_sha512();
    }
    return nullptr;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> HashData(HashKind hash,
                                                  std::span<const std::uint8_t> data) {
    const EVP_MD* md = Digest(hash);
    std::unique_ptr<EVP_MD_CTX, FreeWith<EVP_MD_CTX_free>> ctx(EVP_MD_CTX_new());
    if (md == nullptr || !ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> digest(static_cast<std::size_t>(EVP_MD_get_size(md)));
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1 || length > digest.size()) {
        return std::nullopt;
    }
    digest.resize(length);
    return digest;
}

std::vector<std::uint8_t> BuildDigestInfo(HashKind hash, std::span<const std::uint8_t> digest) {
    const EVP_MD* md = Digest(hash);
    std::unique_ptr<X509_SIG, FreeWith<X509_SIG_free>> sig(X509_SIG_new());
    if (md == nullptr || !sig || digest.size() > std::numeric_limits<int>::max() / 2) {
        return {};
    }
    X509_ALGOR* algorithm = nullptr;
    ASN1_OCTET_STRING* value = nullptr;
    X509_SIG_getm(sig.get(), &algorithm, &value);
    // The NULL parameters are part of the encoding every verifier compares byte for byte.
    if (X509_ALGOR_set0(algorithm, OBJ_nid2obj(EVP_MD_get_type(md)), V_ASN1_NULL, nullptr) != 1 ||
        ASN1_OCTET_STRING_set(value, digest.data(), static_cast<int>(digest.size())) != 1) {
        return {};
    }
    const int length = i2d_X509_SIG(sig.get(), nullptr);
    if (length <= 0) {
        return {};
    }
    std::vector<std::uint8_t> encoded(static_cast<std::size_t>(length));
    unsigned char* out = encoded.data();
    if (i2d_X509_SIG(sig.get(), &out) != length) {
        return {};
    }
    return encoded;
}

}  // namespace quillbox::signing
