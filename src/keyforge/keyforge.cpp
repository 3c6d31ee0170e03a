#include "keyforge.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using ReqPtr = std::unique_ptr<X509_REQ, Deleter<X509_REQ_free>>;
using NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using ObjPtr = std::unique_ptr<ASN1_OBJECT, Deleter<ASN1_OBJECT_free>>;
using SigPtr = std::unique_ptr<X509_SIG, Deleter<X509_SIG_free>>;
using P8Ptr = std::unique_ptr<PKCS8_PRIV_KEY_INFO, Deleter<PKCS8_PRIV_KEY_INFO_free>>;
using P12Ptr = std::unique_ptr<PKCS12, Deleter<PKCS12_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
void FreeCertStack(STACK_OF(X509) * stack) {
    sk_X509_pop_free(stack, X509_free);
}
using CertStack = std::unique_ptr<STACK_OF(X509), Deleter<FreeCertStack>>;

// Why a call failed, for whoever reads the program's standard error; never standard output,
// which carries the page's answer.
void Report(const char* what) {
    std::fprintf(stderr, "keyforge: %s\n", what);
    ERR_print_errors_fp(stderr);
}

Bio ReadOnly(const char* text) {
    return Bio(BIO_new_mem_buf(text, -1));
}

template <typename T>
T* MallocCopy(const void* data, std::size_t size, std::size_t extra) {
    auto* copy = static_cast<T*>(std::malloc(size + extra));
    if (copy != nullptr) {
        std::memcpy(copy, data, size);
        std::memset(reinterpret_cast<char*>(copy) + size, 0, extra);
    }
    return copy;
}

char* BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? MallocCopy<char>(data, static_cast<std::size_t>(size), 1) : nullptr;
}

// Only encrypted PKCS #8 keys are accepted: a key file never holds a bare key. A wrong
// password is told apart from a text that holds no key, so a caller asks again only when
// asking again can help.
int ReadKey(const char* password, const char* keyPem, Pkey& key) {
    if (password == nullptr || keyPem == nullptr || *password == '\0') {
        return KEYFORGE_NO_KEY;
    }
    Bio in = ReadOnly(keyPem);
    SigPtr sealed(in ? PEM_read_bio_PKCS8(in.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!sealed) {
        ERR_clear_error();
        return KEYFORGE_NO_KEY;
    }
    P8Ptr info(PKCS8_decrypt(sealed.get(), password, static_cast<int>(std::strlen(password))));
    if (!info) {
        ERR_clear_error();
        return KEYFORGE_BAD_PASSWORD;
    }
    key.reset(EVP_PKCS82PKEY(info.get()));
    if (!key || !EVP_PKEY_is_a(key.get(), "RSA")) {
        key.reset();
        ERR_clear_error();
        return KEYFORGE_NO_KEY;
    }
    return KEYFORGE_OK;
}

// Splits "/OID=value/OID=value" into attributes; "\" takes the next character as it is.
bool ParseSubject(std::string_view subject, X509_NAME& name) {
    if (subject.empty()) {
        return true;
    }
    if (subject.front() != '/') {
        return false;
    }
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < subject.size(); ++i) {
        const char c = subject[i];
        if (c == '/') {
            parts.emplace_back();
        } else if (c == '\\') {
            if (++i == subject.size()) {
                return false;
            }
            parts.back() += subject[i];
        } else {
            parts.back() += c;
        }
    }
    // An escaped "=" cannot end the OID: OIDs are digits and dots only.
    for (const std::string& part : parts) {
        const std::size_t eq = part.find('=');
        if (eq == std::string::npos) {
            return false;
        }
        const std::string oid = part.substr(0, eq);
        ObjPtr object(OBJ_txt2obj(oid.c_str(), 1));
        if (!object) {
            return false;
        }
        const auto* value = reinterpret_cast<const unsigned char*>(part.data() + eq + 1);
        if (X509_NAME_add_entry_by_OBJ(&name, object.get(), MBSTRING_UTF8, value,
                                       static_cast<int>(part.size() - eq - 1), -1, 0) != 1) {
            return false;
        }
    }
    return true;
}

std::vector<X509Ptr> ReadCertificates(const char* certPem) {
    std::vector<X509Ptr> certificates;
    if (certPem == nullptr) {
        return certificates;
    }
    Bio in = ReadOnly(certPem);
    while (in) {
        X509* certificate = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr);
        if (certificate == nullptr) {
            break;
        }
        certificates.emplace_back(certificate);
    }
    ERR_clear_error();  // the end of the text reads as an error
    return certificates;
}

unsigned char* PublicDer(EVP_PKEY* key, int* length) {
    unsigned char* der = nullptr;
    const int size = key != nullptr ? i2d_PUBKEY(key, &der) : -1;
    if (size <= 0) {
        return nullptr;
    }
    auto* copy = MallocCopy<unsigned char>(der, static_cast<std::size_t>(size), 0);
    OPENSSL_free(der);
    if (copy != nullptr && length != nullptr) {
        *length = size;
    }
    return copy;
}

}  // namespace

extern "C" {

char* fnGenrsa(const char* password, int bits) {
    if (bits == 0) {
        bits = KEYFORGE_DEFAULT_BITS;
    }
    if (password == nullptr || *password == '\0' || bits < KEYFORGE_MIN_BITS ||
        bits > KEYFORGE_MAX_BITS) {
        std::fprintf(stderr, "keyforge: no key without a password, or of %d bits\n", bits);
        return nullptr;
    }
    Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits)));
    Bio out(BIO_new(BIO_s_mem()));
    if (!key || !out ||
        PEM_write_bio_PKCS8PrivateKey(out.get(), key.get(), EVP_aes_256_cbc(), password,
                                      static_cast<int>(std::strlen(password)), nullptr,
                                      nullptr) != 1) {
        Report("could not generate the RSA key");
        return nullptr;
    }
    return BioText(out.get());
}

char* fnCreateCertReq(const char* password, const char* keyPem, const char* subject) {
    Pkey key;
    if (ReadKey(password, keyPem, key) != KEYFORGE_OK || subject == nullptr) {
        std::fprintf(stderr, "keyforge: the key for the request cannot be read\n");
        return nullptr;
    }
    ReqPtr request(X509_REQ_new());
    NamePtr name(X509_NAME_new());
    if (!request || !name || !ParseSubject(subject, *name)) {
        Report("the subject is not valid");
        return nullptr;
    }
    Bio out(BIO_new(BIO_s_mem()));
    if (!out || X509_REQ_set_version(request.get(), X509_REQ_VERSION_1) != 1 ||
        X509_REQ_set_subject_name(request.get(), name.get()) != 1 ||
        X509_REQ_set_pubkey(request.get(), key.get()) != 1 ||
        X509_REQ_sign(request.get(), key.get(), EVP_sha256()) <= 0 ||
        PEM_write_bio_X509_REQ(out.get(), request.get()) != 1) {
        Report("could not create the certificate request");
        return nullptr;
    }
    return BioText(out.get());
}

unsigned char* fnMakePfx(int* length, const char* keyPassword, const char* keyPem,
                         const char* certPem, const char* pfxPassword) {
    Pkey key;
    if (length == nullptr || pfxPassword == nullptr || *pfxPassword == '\0' ||
        ReadKey(keyPassword, keyPem, key) != KEYFORGE_OK) {
        std::fprintf(stderr, "keyforge: the key for the PFX cannot be read\n");
        return nullptr;
    }
    std::vector<X509Ptr> certificates = ReadCertificates(certPem);
    X509* leaf = nullptr;
    CertStack chain(sk_X509_new_null());
    for (X509Ptr& certificate : certificates) {
        if (leaf == nullptr && X509_check_private_key(certificate.get(), key.get()) == 1) {
            leaf = certificate.get();
        } else if (!chain || sk_X509_push(chain.get(), certificate.get()) <= 0) {
            return nullptr;
        } else {
            X509_up_ref(certificate.get());
        }
    }
    ERR_clear_error();
    if (leaf == nullptr) {
        std::fprintf(stderr, "keyforge: no certificate belongs to the key\n");
        return nullptr;
    }
    // OpenSSL 3's defaults: PBES2 with PBKDF2-HMAC-SHA-256 and AES-256-CBC for key and
    // certificates, a SHA-256 MAC.
    P12Ptr pfx(PKCS12_create(pfxPassword, nullptr, key.get(), leaf, chain.get(), 0, 0, 0, 0, 0));
    unsigned char* der = nullptr;
    const int size = pfx ? i2d_PKCS12(pfx.get(), &der) : -1;
    if (size <= 0) {
        Report("could not create the PFX");
        return nullptr;
    }
    auto* copy = MallocCopy<unsigned char>(der, static_cast<std::size_t>(size), 0);
    OPENSSL_free(der);
    if (copy != nullptr) {
        *length = size;
    }
    return copy;
}

int fnCheckPfx(const unsigned char* pfx, int length, const char* password) {
    const unsigned char* at = pfx;
    P12Ptr parsed(pfx != nullptr && length > 0 ? d2i_PKCS12(nullptr, &at, length) : nullptr);
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool opened = parsed && password != nullptr &&
                        PKCS12_parse(parsed.get(), password, &key, &certificate, &chain) == 1;
    const bool whole = opened && key != nullptr && certificate != nullptr &&
                       X509_check_private_key(certificate, key) == 1;
    EVP_PKEY_free(key);
    X509_free(certificate);
    FreeCertStack(chain);
    ERR_clear_error();
    return whole ? 1 : 0;
}

int fnReadPrivateKey(const char* password, const char* keyPem, unsigned char** publicDer,
                     int* publicLength) {
    Pkey key;
    const int status = ReadKey(password, keyPem, key);
    if (status != KEYFORGE_OK || publicDer == nullptr) {
        return status;
    }
    *publicDer = PublicDer(key.get(), publicLength);
    return *publicDer != nullptr ? KEYFORGE_OK : KEYFORGE_NO_KEY;
}

int fnCertificateCount(const char* certPem) {
    return static_cast<int>(ReadCertificates(certPem).size());
}

unsigned char* fnCertificatePublicKey(const char* certPem, int index, int* length) {
    const std::vector<X509Ptr> certificates = ReadCertificates(certPem);
    if (index < 0 || static_cast<std::size_t>(index) >= certificates.size()) {
        return nullptr;
    }
    return PublicDer(X509_get0_pubkey(certificates[static_cast<std::size_t>(index)].get()), length);
}

char* fnCertificateCommonName(const char* certPem, int index) {
    const std::vector<X509Ptr> certificates = ReadCertificates(certPem);
    if (index < 0 || static_cast<std::size_t>(index) >= certificates.size()) {
        return nullptr;
    }
    const X509_NAME* subject =
        X509_get_subject_name(certificates[static_cast<std::size_t>(index)].get());
    const int at = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    int last = at;
    while (last >= 0) {
        const int next = X509_NAME_get_index_by_NID(subject, NID_commonName, last);
        if (next < 0) {
            break;
        }
        last = next;
    }
    unsigned char* utf8 = nullptr;
    const int size = last < 0
                         ? -1
                         : ASN1_STRING_to_UTF8(
                               &utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, last)));
    if (size < 0) {
        ERR_clear_error();
        return nullptr;
    }
    char* name = MallocCopy<char>(utf8, static_cast<std::size_t>(size), 1);
    OPENSSL_free(utf8);
    return name;
}

unsigned int fnModulusWord(const unsigned char* publicDer, int length) {
    const unsigned char* at = publicDer;
    Pkey key(publicDer != nullptr ? d2i_PUBKEY(nullptr, &at, length) : nullptr);
    BIGNUM* raw = nullptr;
    if (!key || !EVP_PKEY_is_a(key.get(), "RSA") ||
        EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &raw) != 1) {
        ERR_clear_error();
        return 0;
    }
    BnPtr modulus(raw);
    const int words = (BN_num_bits(modulus.get()) + 31) / 32;
    if (words == 0 || BN_rshift(modulus.get(), modulus.get(), (words - 1) * 32) != 1) {
        return 0;
    }
    return static_cast<unsigned int>(BN_get_word(modulus.get()));
}

}  // extern "C"
