#include "signing/engine/certificate_view.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <iomanip>
#include <limits>
#include <memory>
#include <sstream>

#include "platform/system/free_with.h"
#include "core/messages/messages.h"
#include "signing/engine/certificate_id.h"

namespace quillbox::signing {

namespace {

using BioPtr = std::unique_ptr<BIO, FreeWith<BIO_free>>;

std::string TakeBio(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 && data != nullptr ? std::string(data, static_cast<std::size_t>(length))
                                         : std::string();
}

std::string NameText(const X509_NAME* name) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    // RFC 2253 order and escaping, but UTF-8 left as it is so names read naturally.
    if (!bio ||
        X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0) {
        return {};
    }
    return TakeBio(bio.get());
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return {};
    }
    std::ostringstream text;
    text << std::put_time(&parts, "%Y-%m-%d %H:%M:%S") << " UTC";
    return text.str();
}

std::string SerialText(const ASN1_INTEGER* serial) {
    std::unique_ptr<BIGNUM, FreeWith<BN_free>> number(ASN1_INTEGER_to_BN(serial, nullptr));
    if (!number) {
        return {};
    }
    char* hex = BN_bn2hex(number.get());
    if (hex == nullptr) {
        return {};
    }
    std::string text(hex);
    OPENSSL_free(hex);
    return text;
}

std::string KeyUsageText(X509* certificate) {
    if ((X509_get_extension_flags(certificate) & EXFLAG_KUSAGE) == 0) {
        return LoadMessage(kMsgNoKeyUsage);
    }
    static constexpr std::pair<std::uint32_t, const char*> kUsages[] = {
        {KU_DIGITAL_SIGNATURE, "Digital Signature"},
        {KU_NON_REPUDIATION, "Non Repudiation"},
        {KU_KEY_ENCIPHERMENT, "Key Encipherment"},
        {KU_DATA_ENCIPHERMENT, "Data Encipherment"},
        {KU_KEY_AGREEMENT, "Key Agreement"},
        {KU_KEY_CERT_SIGN, "Certificate Sign"},
        {KU_CRL_SIGN, "CRL Sign"},
        {KU_ENCIPHER_ONLY, "Encipher Only"},
        {KU_DECIPHER_ONLY, "Decipher Only"},
    };
    const std::uint32_t usage = X509_get_key_usage(certificate);
    std::string text;
    for (const auto& [bit, name] : kUsages) {
        if ((usage & bit) != 0) {
            text += text.empty() ? "" : ", ";
            text += name;
        }
    }
    return text.empty() ? LoadMessage(kMsgNoKeyUsage) : text;
}

std::string ThumbprintText(std::span<const std::uint8_t> der) {
    std::ostringstream text;
    text << std::hex << std::uppercase << std::setfill('0');
    bool first = true;
    for (std::uint8_t byte : ThumbprintOf(der)) {
        text << (first ? "" : " ") << std::setw(2) << static_cast<int>(byte);
        first = false;
    }
    return text.str();
}

}  // namespace

std::optional<ui::CertificateViewRequest> DescribeCertificate(std::span<const std::uint8_t> der) {
    if (der.empty() || der.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
        return std::nullopt;
    }
    const unsigned char* cursor = der.data();
    std::unique_ptr<X509, FreeWith<X509_free>> certificate(
        d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    if (!certificate) {
        return std::nullopt;
    }
    ui::CertificateViewRequest request;
    request.caption = LoadMessage(kMsgCertificateCaption);
    request.closeText = LoadMessage(kMsgClose);
    request.fields = {
        {LoadMessage(kMsgFieldSubject), NameText(X509_get_subject_name(certificate.get()))},
        {LoadMessage(kMsgFieldIssuer), NameText(X509_get_issuer_name(certificate.get()))},
        {LoadMessage(kMsgFieldValidFrom), TimeText(X509_get0_notBefore(certificate.get()))},
        {LoadMessage(kMsgFieldValidTo), TimeText(X509_get0_notAfter(certificate.get()))},
        {LoadMessage(kMsgFieldSerial), SerialText(X509_get0_serialNumber(certificate.get()))},
        {LoadMessage(kMsgFieldKeyUsage), KeyUsageText(certificate.get())},
        {LoadMessage(kMsgFieldThumbprint), ThumbprintText(der)},
    };
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (bio && PEM_write_bio_X509(bio.get(), certificate.get()) == 1) {
        request.pem = TakeBio(bio.get());
    }
    return request;
}

}  // namespace quillbox::signing
