#include "signing/qcert/qualified_certificate_parser.h"

namespace quillbox::QCertFilter {

const std::uint8_t* QualifiedCertificateParser::OnOctetString(const std::uint8_t* content,
                                                              std::size_t length) {
    // The extension's identifier is the last one read before its extnValue (a critical flag
    // in between is a BOOLEAN and leaves it alone).
    if (CurrentOid() != kQcStatementsOid) {
        return content + length;
    }
    const bool outer = inStatements_;
    inStatements_ = true;
    const std::uint8_t* after = nullptr;
    try {
        after = Walk(content, length);
    } catch (...) {
        inStatements_ = outer;
        throw;
    }
    inStatements_ = outer;
    return length == 0 ? after : content + length;
}

const std::uint8_t* QualifiedCertificateParser::OnObjectIdentifier(const std::uint8_t* content,
                                                                   std::size_t length) {
    const std::uint8_t* after = ASN_Parser::OnObjectIdentifier(content, length);
    if (inStatements_) {
        if (CurrentOid() == kQcSscdOid) {
            device_ = true;
        } else if (CurrentOid() == kQcComplianceOid) {
            qualified_ = true;
        }
    }
    return after;
}

int QualifiedCertificateParser::Status() const {
    return (qualified_ ? kQualifiedStatusQualified : 0) | (device_ ? kQualifiedStatusDevice : 0);
}

int QualifiedStatus(std::span<const std::uint8_t> der) {
    if (der.size() <= 10) {
        return kQualifiedStatusError;
    }
    QualifiedCertificateParser parser;
    try {
        parser.Parse(der);
    } catch (const AsnParseError&) {
        return kQualifiedStatusError;
    }
    return parser.Status();
}

int QualifiedStatus(const std::uint8_t* der, std::size_t length) {
    if (der == nullptr) {
        return kQualifiedStatusError;
    }
    return QualifiedStatus(std::span<const std::uint8_t>(der, length));
}

}  // namespace quillbox::QCertFilter
