#include "signing/filter/certificate_entry.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>
#include <string_view>

#include "core/base64/base64_coder.h"
#include "platform/system/free_with.h"
#include "signing/filter/certificate_fields.h"
#include "signing/qcert/qualified_certificate_parser.h"

namespace quillbox {

namespace {

using NamePtr = std::unique_ptr<X509_NAME, FreeWith<X509_NAME_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, FreeWith<ASN1_TIME_free>>;
using BitStringPtr = std::unique_ptr<ASN1_BIT_STRING, FreeWith<ASN1_BIT_STRING_free>>;

struct ExtensionsFree {
    void operator()(STACK_OF(X509_EXTENSION) * extensions) const {
        sk_X509_EXTENSION_pop_free(extensions, X509_EXTENSION_free);
    }
};
using ExtensionsPtr = std::unique_ptr<STACK_OF(X509_EXTENSION), ExtensionsFree>;

// Runs an OpenSSL d2i function over exactly one element.
template <typename T, typename D2i>
T* Decode(D2i d2i, std::span<const std::uint8_t> element) {
    const unsigned char* read = element.data();
    T* value = d2i(nullptr, &read, static_cast<long>(element.size()));
    if (value != nullptr && read != element.data() + element.size()) {
        return nullptr;  // cannot happen for a whole element; never keep a partial one
    }
    return value;
}

std::optional<std::int64_t> Seconds(std::span<const std::uint8_t> element) {
    const TimePtr time(Decode<ASN1_TIME>(d2i_ASN1_TIME, element));
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time.get(), &parts) != 1) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(timegm(&parts));
}

}  // namespace

std::optional<CertificateEntry> CertificateEntry::FromDer(std::span<const std::uint8_t> der) {
    const std::optional<CertificateFields> fields = LocateCertificateFields(der);
    if (!fields) {
        return std::nullopt;
    }
    const NamePtr subject(Decode<X509_NAME>(d2i_X509_NAME, fields->subject));
    const NamePtr issuer(Decode<X509_NAME>(d2i_X509_NAME, fields->issuer));
    const std::optional<std::int64_t> notBefore = Seconds(fields->notBefore);
    const std::optional<std::int64_t> notAfter = Seconds(fields->notAfter);
    if (!subject || !issuer || !notBefore || !notAfter) {
        return std::nullopt;
    }
    ExtensionsPtr extensions;
    if (!fields->extensions.empty()) {
        extensions.reset(Decode<STACK_OF(X509_EXTENSION)>(d2i_X509_EXTENSIONS, fields->extensions));
        if (!extensions) {
            return std::nullopt;
        }
    }

    CertificateEntry entry;
    entry.der.assign(der.begin(), der.end());
    unsigned int hashLength = 0;
    if (EVP_Digest(der.data(), der.size(), entry.thumbprint.data(), &hashLength, EVP_sha1(),
                   nullptr) == 1 &&
        hashLength == entry.thumbprint.size()) {
        entry.certificateId = Base64Coder::EncodeBytes(
            {reinterpret_cast<const char*>(entry.thumbprint.data()), entry.thumbprint.size()});
    }

    entry.subject = DistinguishedName::FromX509(subject.get());
    entry.issuer = DistinguishedName::FromX509(issuer.get());
    entry.displayName = entry.subject.Attribute(kOidCommonName).value_or("");
    if (entry.displayName.empty()) {
        entry.displayName = entry.subject.Attribute(kOidEmailAddress).value_or("");
    }
    entry.issuerName = entry.issuer.Attribute(kOidCommonName).value_or("");
    entry.notBefore = *notBefore;
    entry.notAfter = *notAfter;

    const int usageIndex =
        extensions ? X509v3_get_ext_by_NID(extensions.get(), NID_key_usage, -1) : -1;
    if (usageIndex >= 0) {
        const BitStringPtr usage(static_cast<ASN1_BIT_STRING*>(
            X509V3_EXT_d2i(X509v3_get_ext(extensions.get(), usageIndex))));
        if (usage) {
            entry.hasKeyUsage = true;
            const int length = ASN1_STRING_length(usage.get());
            const unsigned char* bytes = ASN1_STRING_get0_data(usage.get());
            if (length > 0) {
                entry.keyUsage = bytes[0];
            }
            if (length > 1) {
                entry.keyUsage |= static_cast<std::uint16_t>(bytes[1] << 8);
            }
        }
    }

    entry.qualifiedStatus = QCertFilter::QualifiedStatus(der);
    return entry;
}

}  // namespace quillbox
