#include "signing/filter/filter_evaluator.h"

#include <gtest/gtest.h>

#include <string>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "log_file.h"
#include "signing/qcert/qualified_certificate_parser.h"
#include "test_certificates.h"
#include "test_support.h"

namespace quillbox {
namespace {

CertificateEntry Entry(const test::CertificateSpec& spec) {
    auto entry = CertificateEntry::FromDer(test::MakeCertificate(spec));
    EXPECT_TRUE(entry);
    return entry ? std::move(*entry) : CertificateEntry();
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

TEST_F(FilterEvaluation, UnknownFunctionIsLoggedAndGivesItsName) {
    SetLanguage("en");
    test::TempDir temp;
    test::WriteFile(temp / std::string(kLogFileName), "");
    CGlobals globals(temp.path().string());
    CGlobals::SetInstanceForTesting(&globals);

    EXPECT_EQ(Eval("and(true)"), "and");
    EXPECT_FALSE(FilterAccepts(entry, "and(true)"));
    // Every parameter is evaluated, also the branch that is not taken.
    EXPECT_EQ(Eval("If(true,yes,Frobnicate())"), "yes");

    CGlobals::SetInstanceForTesting(nullptr);
    ResetLanguageForTesting();
    const std::string log = test::ReadLogFile(temp / std::string(kLogFileName));
    EXPECT_NE(log.find("Function \"and\" not supported in calculate expression"),
              std::string::npos);
    EXPECT_NE(log.find("Function \"Frobnicate\" not supported in calculate expression"),
              std::string::npos);
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
