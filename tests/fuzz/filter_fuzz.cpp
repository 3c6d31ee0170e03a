// Parses arbitrary text as a certificate filter and evaluates it against a fixed qualified
// certificate. The only failures allowed are the two missing-brace errors.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "../signing/qcert/test_certificates.h"
#include "core/sign_exception.h"
#include "fuzz_check.h"
#include "signing/filter/filter_evaluator.h"

namespace {

const quillbox::CertificateEntry& Entry() {
    static const quillbox::CertificateEntry entry = [] {
        quillbox::test::CertificateSpec spec;
        spec.issuer = {{"C", "CZ"}, {"O", "Example CA, Inc."}, {"CN", "Test CA"}};
        spec.subject = {{"CN", "Test User"}, {"serialNumber", "ID-1"}, {"OU", "a; b"}};
        spec.qcStatements = {"0.4.0.1862.1.1", "0.4.0.1862.1.4"};
        auto built = quillbox::CertificateEntry::FromDer(quillbox::test::MakeCertificate(spec));
        Check(built.has_value());
        return *built;
    }();
    return entry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view filter(reinterpret_cast<const char*>(data), size);
    const quillbox::CertificateEntry& entry = Entry();
    try {
        const std::optional<quillbox::FilterExpression> expression = quillbox::ParseFilter(filter);
        if (!expression) {
            Check(quillbox::FilterAccepts(entry, filter));
            return 0;
        }
        Check(!expression->Root().literal);
        for (std::size_t i = 0; i < expression->Nodes().size(); ++i) {
            for (const std::size_t p : expression->Nodes()[i].parameters) {
                Check(p > i && p < expression->Nodes().size());
            }
        }
        const auto value = quillbox::EvaluateFilter(*expression, entry);
        Check(quillbox::FilterAccepts(entry, filter) == (value && value->text == "true"));
    } catch (const quillbox::CSignException& e) {
        Check(e.Code() == -21 || e.Code() == -22);
    }
    return 0;
}
