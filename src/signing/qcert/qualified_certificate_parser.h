// The qualified status of a certificate: whether its qualified-certificate statements
// extension declares compliance with the qualified-certificate requirements and whether the
// key lives on a qualified signature-creation device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "signing/qcert/asn_parser.h"

namespace quillbox::QCertFilter {

inline constexpr std::string_view kQcStatementsOid = "1.3.6.1.5.5.7.1.3";
inline constexpr std::string_view kQcComplianceOid = "0.4.0.1862.1.1";
inline constexpr std::string_view kQcSscdOid = "0.4.0.1862.1.4";

// Status values: bit 0 qualified, bit 1 device; -1 for an encoding that does not parse.
inline constexpr int kQualifiedStatusError = -1;
inline constexpr int kQualifiedStatusNone = 0;
inline constexpr int kQualifiedStatusQualified = 1;
inline constexpr int kQualifiedStatusDevice = 2;
inline constexpr int kQualifiedStatusQualifiedOnDevice = 3;

class QualifiedCertificateParser : public ASN_Parser {
  public:
    // Walks into the extension value when the extension is the statements extension.
    const std::uint8_t* OnOctetString(const std::uint8_t* content, std::size_t length) override;
    // Notes the two statements, but only inside the statements extension.
    const std::uint8_t* OnObjectIdentifier(const std::uint8_t* content,
                                           std::size_t length) override;

    bool InStatements() const { return inStatements_; }
    bool Qualified() const { return qualified_; }
    bool Device() const { return device_; }
    // 0..3 from what was seen so far.
    int Status() const;

  private:
    bool inStatements_ = false;
    bool device_ = false;
    bool qualified_ = false;
};

// -1..3 for a DER certificate; -1 for one of 10 bytes or fewer or one that does not parse.
int QualifiedStatus(std::span<const std::uint8_t> der);
int QualifiedStatus(const std::uint8_t* der, std::size_t length);

}  // namespace quillbox::QCertFilter
