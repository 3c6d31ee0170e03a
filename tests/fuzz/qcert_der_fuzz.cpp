// Walks arbitrary bytes as DER: the qualified status must come out in range, a walker that
// sees every handler must neither read outside the input nor run out of stack, and the
// certificate entry built from the same bytes must agree.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "signing/filter/certificate_entry.h"
#include "signing/qcert/qualified_certificate_parser.h"

namespace {

using quillbox::QCertFilter::ASN_Parser;
using quillbox::QCertFilter::AsnParseError;

// Touches every byte a handler is given, so that a wrong length shows as an overflow.
class TouchingParser : public ASN_Parser {
  public:
    const std::uint8_t* OnDefault(const std::uint8_t* content, std::size_t length) override {
        for (std::size_t i = 0; i < length; ++i) {
            sum_ += content[i];
        }
        return ASN_Parser::OnDefault(content, length);
    }
    const std::uint8_t* OnOctetString(const std::uint8_t* content, std::size_t length) override {
        // Walk every octet string as if it held an encoding, to reach deeper states.
        try {
            Walk(content, length);
        } catch (const AsnParseError&) {
        }
        return content + length;
    }
    unsigned sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so a read one past the input is caught.
    const std::vector<std::uint8_t> input(data, data + size);
    const int status = quillbox::QCertFilter::QualifiedStatus(input);
    Check(status >= -1 && status <= 3);

    TouchingParser parser;
    try {
        parser.Parse(input);
    } catch (const AsnParseError&) {
    }
    Check(parser.Depth() == 0);

    try {
        const std::string oid = ASN_Parser::DecodeOid(input);
        Check(oid.size() <= 15 * 400);
    } catch (const AsnParseError&) {
    }
    // The certificate list's reading of the same bytes.
    if (const auto entry = quillbox::CertificateEntry::FromDer(input)) {
        Check(entry->qualifiedStatus == status);
    }
    return 0;
}
