#include "test_certificates.h"

#include <openssl/asn1.h>
#include <openssl/conf.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/system/free_with.h"

namespace quillbox::test {

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, FreeWith<EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, FreeWith<X509_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, FreeWith<X509_EXTENSION_free>>;
using ObjPtr = std::unique_ptr<ASN1_OBJECT, FreeWith<ASN1_OBJECT_free>>;
using OctetsPtr = std::unique_ptr<ASN1_OCTET_STRING, FreeWith<ASN1_OCTET_STRING_free>>;

void Require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("OpenSSL: ") + what);
    }
}

EVP_PKEY* SharedKey() {
    static KeyPtr key(EVP_EC_gen("P-256"));
    Require(key != nullptr, "key");
    return key.get();
}

std::string DerLength(std::size_t n) {
    if (n < 0x80) {
        return std::string(1, static_cast<char>(n));
    }
    std::string octets;
    for (; n > 0; n >>= 8) {
        octets.insert(octets.begin(), static_cast<char>(n & 0xFF));
    }
    return static_cast<char>(0x80 | octets.size()) + octets;
}

std::string Tlv(char tag, const std::string& content) {
    return tag + DerLength(content.size()) + content;
}

std::string OidDer(const std::string& dotted) {
    ObjPtr object(OBJ_txt2obj(dotted.c_str(), 1));
    Require(object != nullptr, "OID");
    const int length = i2d_ASN1_OBJECT(object.get(), nullptr);
    std::string der(static_cast<std::size_t>(length), '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    i2d_ASN1_OBJECT(object.get(), &out);
    return der;
}

void AddName(X509_NAME* name, const std::vector<std::pair<std::string, std::string>>& parts) {
    for (const auto& [type, value] : parts) {
        Require(X509_NAME_add_entry_by_txt(name, type.c_str(), MBSTRING_UTF8,
                                           reinterpret_cast<const unsigned char*>(value.data()),
                                           static_cast<int>(value.size()), -1, 0) == 1,
                "name");
    }
}

void AddExtension(X509* certificate, X509_EXTENSION* extension) {
    Require(extension != nullptr, "extension");
    ExtPtr owned(extension);
    Require(X509_add_ext(certificate, owned.get(), -1) == 1, "add extension");
}

std::vector<std::uint8_t> Encode(X509* certificate) {
    const int length = i2d_X509(certificate, nullptr);
    Require(length > 0, "encode");
    std::vector<std::uint8_t> der(static_cast<std::size_t>(length));
    unsigned char* out = der.data();
    i2d_X509(certificate, &out);
    return der;
}

std::vector<std::uint8_t> Sign(X509* certificate) {
    Require(X509_sign(certificate, SharedKey(), EVP_sha256()) > 0, "sign");
    return Encode(certificate);
}

}  // namespace

std::vector<std::uint8_t> MakeCertificate(const CertificateSpec& spec) {
    CertPtr certificate(X509_new());
    Require(certificate != nullptr, "X509_new");
    X509_set_version(certificate.get(), spec.version1 ? 0 : 2);
    static long serial = 1;
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), spec.notBeforeDays * 86400L);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), spec.notAfterDays * 86400L);
    AddName(X509_get_subject_name(certificate.get()), spec.subject);
    AddName(X509_get_issuer_name(certificate.get()), spec.issuer);
    Require(X509_set_pubkey(certificate.get(), SharedKey()) == 1, "pubkey");
    if (spec.version1) {
        return Sign(certificate.get());
    }

    // Some extensions (policies) insist on a configuration database, even an empty one.
    std::unique_ptr<CONF, FreeWith<NCONF_free>> conf(NCONF_new(nullptr));
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, certificate.get(), certificate.get(), nullptr, nullptr, 0);
    X509V3_set_nconf(&ctx, conf.get());
    AddExtension(certificate.get(),
                 X509V3_EXT_nconf_nid(nullptr, &ctx, NID_basic_constraints, "critical,CA:FALSE"));
    if (!spec.keyUsage.empty()) {
        AddExtension(certificate.get(),
                     X509V3_EXT_nconf_nid(nullptr, &ctx, NID_key_usage, spec.keyUsage.c_str()));
    }
    if (!spec.policies.empty()) {
        std::string list;
        for (const auto& policy : spec.policies) {
            list += (list.empty() ? "" : ",") + policy;
        }
        AddExtension(certificate.get(),
                     X509V3_EXT_nconf_nid(nullptr, &ctx, NID_certificate_policies, list.c_str()));
    }
    if (!spec.qcStatements.empty()) {
        // QCStatements ::= SEQUENCE OF SEQUENCE { statementId OID, ... }
        std::string statements;
        for (const auto& statement : spec.qcStatements) {
            statements += Tlv(0x30, OidDer(statement));
        }
        const std::string value = Tlv(0x30, statements);
        OctetsPtr octets(ASN1_OCTET_STRING_new());
        ASN1_OCTET_STRING_set(octets.get(), reinterpret_cast<const unsigned char*>(value.data()),
                              static_cast<int>(value.size()));
        ObjPtr object(OBJ_txt2obj("1.3.6.1.5.5.7.1.3", 1));
        AddExtension(certificate.get(),
                     X509_EXTENSION_create_by_OBJ(nullptr, object.get(),
                                                  spec.qcStatementsCritical ? 1 : 0, octets.get()));
    }
    return Sign(certificate.get());
}

std::vector<std::uint8_t> DerFromPemFile(const std::string& path) {
    std::unique_ptr<std::FILE, FreeWith<std::fclose>> file(std::fopen(path.c_str(), "r"));
    if (!file) {
        return {};
    }
    CertPtr certificate(PEM_read_X509(file.get(), nullptr, nullptr, nullptr));
    return certificate ? Encode(certificate.get()) : std::vector<std::uint8_t>{};
}

}  // namespace quillbox::test
