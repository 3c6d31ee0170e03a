// Finds the parts of a DER certificate that the certificate list needs (names, validity,
// extensions) without decoding the rest. OpenSSL 3 spends most of a full certificate decode
// on the public key, which the list never uses; slicing first keeps a store of hundreds of
// certificates quick to list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace quillbox {

struct CertificateFields {
    // Each one whole element (identifier, length and content).
    std::span<const std::uint8_t> issuer;
    std::span<const std::uint8_t> notBefore;
    std::span<const std::uint8_t> notAfter;
    std::span<const std::uint8_t> subject;
    // The Extensions SEQUENCE inside [3]; empty when the certificate has none.
    std::span<const std::uint8_t> extensions;
};

// Nothing unless the bytes start with a certificate's outline: SEQUENCE { TBSCertificate,
// AlgorithmIdentifier, BIT STRING } with the TBSCertificate fields in their order.
std::optional<CertificateFields> LocateCertificateFields(std::span<const std::uint8_t> der);

}  // namespace quillbox
