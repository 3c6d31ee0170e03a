// What a certificate gives the filters, and the filters' evaluation over it.
#include "signing/filter/filter_evaluator.h"

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <ctime>
#include <random>
#include <string>

#include "core/base64/base64_coder.h"
#include "signing/qcert/qualified_certificate_parser.h"
#include "test_certificates.h"

namespace quillbox {
namespace {

CertificateEntry Entry(const test::CertificateSpec& spec) {
    auto entry = CertificateEntry::FromDer(test::MakeCertificate(spec));
    EXPECT_TRUE(entry);
    return entry ? std::move(*entry) : CertificateEntry();
}

TEST(CertificateEntry, ReadsIdentityValidityAndUsage) {
    test::CertificateSpec spec;
    spec.subject = {{"CN", "Petr Novák"}, {"emailAddress", "petr@example.test"}};
    spec.issuer = {{"O", "Example"}, {"CN", "Issuing CA"}};
    spec.notBeforeDays = -10;
    spec.notAfterDays = 20;
    const auto der = test::MakeCertificate(spec);
    const auto entry = CertificateEntry::FromDer(der);
    ASSERT_TRUE(entry);
    std::array<std::uint8_t, 20> sha1{};
    SHA1(der.data(), der.size(), sha1.data());
    EXPECT_EQ(entry->thumbprint, sha1);
    EXPECT_EQ(Base64Coder::DecodeText(entry->certificateId), std::string(sha1.begin(), sha1.end()));
    EXPECT_EQ(entry->displayName, "Petr Novák");
    EXPECT_EQ(entry->issuerName, "Issuing CA");

    const std::int64_t now = std::time(nullptr);
    EXPECT_NEAR(static_cast<double>(entry->notBefore), now - 10 * 86400.0, 5);
    EXPECT_NEAR(static_cast<double>(entry->notAfter), now + 20 * 86400.0, 5);
    EXPECT_TRUE(entry->TimeValid(entry->notAfter));
    EXPECT_FALSE(entry->TimeValid(entry->notAfter + 1));
    EXPECT_FALSE(entry->TimeValid(entry->notBefore - 1));

    // The e-mail address stands in for a missing common name.
    spec.subject = {{"O", "Org"}, {"emailAddress", "only@example.test"}};
    EXPECT_EQ(Entry(spec).displayName, "only@example.test");
    spec.subject = {{"O", "Org"}};
    EXPECT_EQ(Entry(spec).displayName, "");
}

TEST(CertificateEntry, KeyUsageVariants) {
    test::CertificateSpec spec;
    EXPECT_EQ(Entry(spec).KeyUsageByte(), kKeyUsageDigitalSignature | kKeyUsageNonRepudiation);
    spec.keyUsage.clear();
    const auto none = Entry(spec);
    EXPECT_FALSE(none.hasKeyUsage);
    EXPECT_EQ(none.KeyUsageByte(), 0);
    // All eight bits of the first octet: no unused bits in that octet.
    spec.keyUsage =
        "digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyAgreement,"
        "keyCertSign,cRLSign,encipherOnly";
    EXPECT_EQ(Entry(spec).KeyUsageByte(), 0xFF);
    spec.keyUsage = "nonRepudiation,decipherOnly";
    const auto nine = Entry(spec);
    EXPECT_EQ(nine.KeyUsageByte(), kKeyUsageNonRepudiation);
    EXPECT_EQ(nine.keyUsage, 0x8040);
    // Version 1: no extensions at all.
    spec.version1 = true;
    const auto v1 = Entry(spec);
    EXPECT_FALSE(v1.hasKeyUsage);
    EXPECT_EQ(v1.qualifiedStatus, 0);
}

TEST(CertificateEntry, AttributeLookup) {
    test::CertificateSpec spec;
    spec.subject = {{"OU", "First"},
                    {"OU", "  Second"},
                    {"CN", "x; 2.5.4.10=Forged"},
                    {"O", "Real; Org"},
                    {"L", " "}};
    const auto entry = Entry(spec);
    EXPECT_EQ(entry.SubjectAttribute("2.5.4.11"), "Second");
    // A value cannot pose as another attribute, and keeps its semicolon.
    EXPECT_EQ(entry.SubjectAttribute("2.5.4.10"), "Real; Org");
    EXPECT_EQ(entry.SubjectAttribute("2.5.4.3"), "x; 2.5.4.10=Forged");
    EXPECT_EQ(entry.SubjectAttribute("2.5.4.7"), "");  // only blanks
    EXPECT_EQ(entry.SubjectAttribute("2.5.4.6"), std::nullopt);
    EXPECT_EQ(entry.SubjectAttribute("cn"), std::nullopt);
    EXPECT_EQ(entry.SubjectAttribute("2.5.4"), std::nullopt);
    EXPECT_EQ(entry.SubjectAttribute(""),
              "First, \"  Second\", \"x; 2.5.4.10=Forged\", \"Real; Org\", \" \"");
    EXPECT_EQ(entry.subject.OidForm(),
              "2.5.4.11=First; 2.5.4.11=\"  Second\"; 2.5.4.3=\"x; 2.5.4.10=Forged\"; "
              "2.5.4.10=\"Real; Org\"; 2.5.4.7=\" \"");
}

TEST(CertificateEntry, MultiValuedRdnAndQuotes) {
    DistinguishedName name(
        {{"2.5.4.6", "CZ", 0}, {"2.5.4.3", "A \"quoted\" name", 1}, {"2.5.4.5", "123", 1}});
    EXPECT_EQ(name.SimpleForm(), "CZ, \"A \"\"quoted\"\" name\" + 123");
    EXPECT_EQ(name.Attribute("2.5.4.3"), "A \"quoted\" name");
}

TEST(CertificateEntry, TruncatedAndCorruptedCopies) {
    test::CertificateSpec spec;
    spec.qcStatements = {"0.4.0.1862.1.1"};
    spec.policies = {"0.4.0.1862.1.1"};
    const auto der = test::MakeCertificate(spec);
    for (std::size_t n = 0; n < der.size(); ++n) {
        const std::vector<std::uint8_t> cut(der.begin(), der.begin() + static_cast<long>(n));
        ASSERT_FALSE(CertificateEntry::FromDer(cut)) << "length " << n;
    }
    EXPECT_FALSE(
        CertificateEntry::FromDer(std::vector<std::uint8_t>{0x30, 0x03, 0x02, 0x01, 0x01}));
    // The qualified status of damaged copies is checked in qualified_status_test; here the
    // names and extensions are read from them without a fault.
    std::mt19937 random(7);
    int parsed = 0;
    for (int round = 0; round < 2000; ++round) {
        auto copy = der;
        copy[random() % copy.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        parsed += CertificateEntry::FromDer(copy) ? 1 : 0;
    }
    EXPECT_GT(parsed, 0);  // most flips land in the key or the signature
}

test::CertificateSpec ExampleSpec() {
    test::CertificateSpec spec;
    spec.issuer = {{"C", "CZ"}, {"O", "Example CA, Inc."}, {"CN", "Test CA"}};
    spec.subject = {{"C", "CZ"}, {"CN", "Jana Nováková"}, {"serialNumber", "ID-42"}};
    spec.qcStatements = {std::string(QCertFilter::kQcComplianceOid)};
    return spec;
}

class FilterEvaluation : public ::testing::Test {
  protected:
    // Evaluates a filter that must parse; "<rejected>" when the evaluation ended early,
    // "<null>" for a null value.
    std::string Eval(std::string_view filter) const { return EvalOn(entry, filter); }
    static std::string EvalOn(const CertificateEntry& e, std::string_view filter) {
        const auto expression = ParseFilter(filter);
        if (!expression) {
            return "<no expression>";
        }
        const auto value = EvaluateFilter(*expression, e);
        if (!value) {
            return "<rejected>";
        }
        return value->null ? "<null>" : value->text;
    }

    CertificateEntry entry = Entry(ExampleSpec());
};

TEST_F(FilterEvaluation, WorkedExamples) {
    const std::string filter = "And(StrCmp(IssuerStr(o),{Example CA, Inc.}),QStatusParam(true,))";
    EXPECT_TRUE(FilterAccepts(entry, filter));
    auto onDevice = ExampleSpec();
    onDevice.qcStatements.push_back(std::string(QCertFilter::kQcSscdOid));
    EXPECT_TRUE(FilterAccepts(Entry(onDevice), filter));
    auto other = ExampleSpec();
    other.issuer[1].second = "Example CA Inc.";
    EXPECT_FALSE(FilterAccepts(Entry(other), filter));
    auto plain = ExampleSpec();
    plain.qcStatements.clear();
    EXPECT_FALSE(FilterAccepts(Entry(plain), filter));

    const std::string serial = "If(IsEmpty(SubjectStr(2.5.4.5)),false,true)";
    EXPECT_TRUE(FilterAccepts(entry, serial));
    plain.subject.pop_back();
    EXPECT_FALSE(FilterAccepts(Entry(plain), serial));

    EXPECT_TRUE(FilterAccepts(Entry(plain), "true"));
    EXPECT_TRUE(FilterAccepts(entry, "false"));
    EXPECT_TRUE(FilterAccepts(entry, ""));
}

// Filter and its value: "<null>" for null; a call that cannot be evaluated gives its name.
TEST_F(FilterEvaluation, Functions) {
    const std::pair<const char*, const char*> cases[] = {
        {"StrCmp( a b , ab )", "true"},
        {"StrCmp({a b},ab)", "false"},
        {"IssuerStr(CN)", "Test CA"},
        {"IssuerStr()", "CZ, \"Example CA, Inc.\", Test CA"},
        {"IssuerStr(ou)", "<null>"},
        {"IssuerStr({})", "CZ, \"Example CA, Inc.\", Test CA"},
        {"SubjectStr(2.5.4.3)", "Jana Nováková"},
        {"IsEmpty(SubjectStr(cn))", "true"},
        {"SubjectStr()", "CZ, Jana Nováková, ID-42"},
        {"ContainsSubstr(IssuerStr(cn),{Test CA})", "true"},
        {"ContainsSubstr(IssuerStr(ou),{})", "false"},
        {"ContainsSubstr({},IssuerStr(ou))", "false"},
        {"ContainsSubstr(IssuerStr(cn),{})", "true"},
        {"ContainsSubstr(If(false,x),{})", "false"},
        {"StrCmp(IssuerStr(ou),{})", "true"},
        {"And(true,true,true)", "true"},
        {"And(true,TRUE)", "false"},
        {"Or(false,x,true)", "true"},
        {"Not(yes)", "true"},
        {"And()", "And"},
        {"StrCmp(a)", "StrCmp"},
        {"and(true)", "and"},  // names are case-sensitive; an unknown one gives its name
        {"If(true,yes,Frobnicate())", "yes"},
        {"If(true,a,b)", "a"},
        {"If(x,a,b)", "b"},
        {"If(x,a)", "<null>"},
        {"IsEmpty({})", "true"},
        {"IsEmpty({ })", "false"},
        {"LastParam(a,b,c)", "c"},
        {"LastParam(a,IssuerStr(ou))", "<null>"},
        {"Gt(5)", "true"},
        {"Lt(abc,1)", "true"},
        {"Lt(-1)", "true"},
        {"Gt(1e3,999.5)", "true"},
        {"Gt(12abc,11.9x)", "true"},
        {"Gt(0x10,1)", "false"},
        {"Gt(inf,1)", "false"},
        {"Gt(1e999,1e308)", "true"},
        {"Switch(x,d,x,r)", "r"},
        {"Switch(x)", "x"},
        {"Switch(b,d,a,1,b,2,b,3)", "2"},
        {"Switch(IssuerStr(c),other,SK,sk,CZ,cz)", "cz"},
        {"Switch({},d,IssuerStr(ou),null-key)", "null-key"},
        {"QStatusParam(yes,true)", "QStatusParam"},
        {"QStatusParam(true,TRUE)", "QStatusParam"}};
    for (const auto& [filter, expected] : cases) {
        EXPECT_EQ(Eval(filter), expected) << filter;
    }
    EXPECT_EQ(FilterNumber(".5"), 0.5);
    EXPECT_EQ(FilterNumber("7."), 7.0);
    EXPECT_EQ(FilterNumber("1e"), 1.0);
    EXPECT_EQ(FilterNumber("-"), 0.0);
    EXPECT_EQ(FilterNumber(" 3,5"), 3.0);
}

TEST_F(FilterEvaluation, MissingParametersRejectTheCertificate) {
    for (const char* filter : {"If()", "If(true)", "If(true,)", "IsEmpty()", "Gt()", "Lt()",
                               "LastParam()", "Switch()", "Switch(x,d,x)", "And(true,If(true))"}) {
        EXPECT_EQ(Eval(filter), "<rejected>") << filter;
        EXPECT_FALSE(FilterAccepts(entry, filter)) << filter;
    }
    EXPECT_EQ(Eval("If(false)"), "<null>");
}

// QStatus() text and, per QStatusParam(qualified, device) arguments, the verdict for the
// statuses -1, 0, 1, 2, 3 in turn ('+' is "true").
TEST_F(FilterEvaluation, QStatusAndQStatusParamFollowTheStatus) {
    const char* texts[] = {"error", "", "qualified", "qualifieddevice",
                           "qualifiedonqualifieddevice"};
    const std::pair<const char*, const char*> params[] = {
        {"true,true", "----+"},
        {"true,false", "--+--"},
        {"true,", "--+-+"},
        {"true", "--+-+"},
        {"false,true", "---+-"},
        {"false,false", "-+---"},
        {"false,{}", "-+-+-"},
        {"{},true", "---++"},
        {"{},false", "-++--"},
        {"{},{}", "+++++"},
        {"", "+++++"},
        // The leading "," is skipped, so "false" is the first parameter.
        {",false", "-+-+-"},
        {"IssuerStr(ou),true", "---++"}};
    for (int status = -1; status <= 3; ++status) {
        CertificateEntry e;
        e.qualifiedStatus = status;
        EXPECT_EQ(EvalOn(e, "QStatus()"), texts[status + 1]) << status;
        for (const auto& [arguments, verdicts] : params) {
            EXPECT_EQ(EvalOn(e, std::string("QStatusParam(") + arguments + ")"),
                      verdicts[status + 1] == '+' ? "true" : "false")
                << arguments << " with status " << status;
        }
    }
}

TEST_F(FilterEvaluation, DeepNestingEvaluatesWithoutRecursion) {
    constexpr int kDepth = 10'000;
    std::string filter;
    for (int i = 0; i < kDepth; ++i) {
        filter += "Not(";
    }
    filter += "false" + std::string(kDepth, ')');
    EXPECT_EQ(Eval(filter), "false");
    EXPECT_TRUE(FilterAccepts(entry, "Not(" + filter + ")"));
}

}  // namespace
}  // namespace quillbox
