// One certificate as the certificate list and the filter functions see it: everything is
// read from the DER once, when the entry is built.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "signing/filter/distinguished_name.h"

namespace quillbox {

inline constexpr std::string_view kOidCommonName = "2.5.4.3";
inline constexpr std::string_view kOidEmailAddress = "1.2.840.113549.1.9.1";

// Key-usage bits as OpenSSL numbers them: first octet of the bit string in the low byte.
inline constexpr std::uint16_t kKeyUsageDigitalSignature = 0x80;
inline constexpr std::uint16_t kKeyUsageNonRepudiation = 0x40;

struct CertificateEntry {
    std::vector<std::uint8_t> der;
    std::array<std::uint8_t, 20> thumbprint{};  // SHA-1 of der
    std::string certificateId;                  // Base64 of thumbprint

    DistinguishedName subject;
    DistinguishedName issuer;
    std::string displayName;  // subject CN, else subject e-mail address, else empty
    std::string issuerName;   // issuer CN

    std::int64_t notBefore = 0;  // seconds since 1970-01-01 UTC
    std::int64_t notAfter = 0;

    bool hasKeyUsage = false;  // the extension is present and decodes
    std::uint16_t keyUsage = 0;

    int qualifiedStatus = 0;  // -1..3, see QCertFilter::QualifiedStatus

    // Filled in by the certificate store.
    std::string friendlyName;
    bool hasPrivateKey = false;

    // The whole entry from a DER certificate; nothing when OpenSSL cannot read it.
    static std::optional<CertificateEntry> FromDer(std::span<const std::uint8_t> der);

    // First octet of the key-usage bit string (0x80 digitalSignature, 0x40 nonRepudiation);
    // 0 without the extension.
    std::uint8_t KeyUsageByte() const {
        return hasKeyUsage ? static_cast<std::uint8_t>(keyUsage & 0xFF) : 0;
    }
    // notBefore <= now <= notAfter, both ends included.
    bool TimeValid(std::int64_t now) const { return notBefore <= now && now <= notAfter; }

    std::optional<std::string> SubjectAttribute(std::string_view oid) const {
        return subject.Attribute(oid);
    }
    std::optional<std::string> IssuerAttribute(std::string_view oid) const {
        return issuer.Attribute(oid);
    }
};

}  // namespace quillbox
