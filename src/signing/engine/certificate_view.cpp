#include "signing/engine/certificate_view.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

#include "core/message_ids.h"
#include "core/messages/messages.h"
#include "platform/system/free_with.h"
#include "signing/engine/certificate_id.h"
#include "signing/engine/short_date.h"

namespace quillbox::signing {

namespace {

using BioPtr = std::unique_ptr<BIO, FreeWith<BIO_free>>;

std::string TakeBio(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 && data != nullptr ? std::string(data, static_cast<std::size_t>(length))
                                         : std::string();
}

// A value as it reads in a name; one holding the separators is quoted.
std::string NameValue(const ASN1_STRING* data) {
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, data);
    if (length < 0 || utf8 == nullptr) {
        return {};
    }
    std::string value(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length));
    OPENSSL_free(utf8);
    if (value.find_first_of(",+=\"") == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (const char c : value) {
        quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string OidText(const ASN1_OBJECT* object) {
    const int needed = OBJ_obj2txt(nullptr, 0, object, 1);
    if (needed <= 0) {
        return "?";
    }
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    const int written = OBJ_obj2txt(text.data(), static_cast<int>(text.size()), object, 1);
    text.resize(written > 0 ? std::min(static_cast<std::size_t>(written), text.size() - 1) : 0);
    return text;
}

// The name as people read it: the common name first, then the other attributes from the
// most specific to the country ("CN=Jana Nováková, E=jana@example.cz, O=Město, C=CZ").
std::string NameText(const X509_NAME* name) {
    std::vector<std::string> common;
    std::vector<std::string> others;
    for (int i = X509_NAME_entry_count(name) - 1; i >= 0; --i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        const int nid = OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry));
        std::string key;
        if (nid == NID_pkcs9_emailAddress) {
            key = "E";
        } else if (const char* shortName = nid != NID_undef ? OBJ_nid2sn(nid) : nullptr) {
            key = shortName;
        } else {
            key = OidText(X509_NAME_ENTRY_get_object(entry));
        }
        std::string part = key + "=" + NameValue(X509_NAME_ENTRY_get_data(entry));
        (nid == NID_commonName ? common : others).push_back(std::move(part));
    }
    common.insert(common.end(), others.begin(), others.end());
    std::string text;
    for (const std::string& part : common) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text;
}

// The date as the certificate list writes it, in the message language.
std::string TimeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return {};
    }
    return ShortDate(static_cast<std::int64_t>(timegm(&parts)), EffectiveLanguage());
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
    static constexpr std::pair<std::uint32_t, int> kUsages[] = {
        {KU_DIGITAL_SIGNATURE, msg::kKeyUsageDigitalSignature},
        {KU_NON_REPUDIATION, msg::kKeyUsageNonRepudiation},
        {KU_KEY_ENCIPHERMENT, msg::kKeyUsageKeyEncipherment},
        {KU_DATA_ENCIPHERMENT, msg::kKeyUsageDataEncipherment},
        {KU_KEY_AGREEMENT, msg::kKeyUsageKeyAgreement},
        {KU_KEY_CERT_SIGN, msg::kKeyUsageCertificateSigning},
        {KU_CRL_SIGN, msg::kKeyUsageCrlSigning},
        {KU_ENCIPHER_ONLY, msg::kKeyUsageEncipherOnly},
        {KU_DECIPHER_ONLY, msg::kKeyUsageDecipherOnly},
    };
    const std::uint32_t usage = X509_get_key_usage(certificate);
    std::string text;
    for (const auto& [bit, name] : kUsages) {
        if ((usage & bit) != 0) {
            text += text.empty() ? "" : ", ";
            text += LoadMessage(name);
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
    request.detailsText = LoadMessage(msg::kDetails);
    request.copyText = LoadMessage(msg::kCopy);
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
