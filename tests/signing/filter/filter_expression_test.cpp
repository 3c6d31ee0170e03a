#include "signing/filter/filter_expression.h"

#include <gtest/gtest.h>

#include <string>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/sign_exception.h"

namespace quillbox {
namespace {

// The tree as text: calls as name(p1|p2), literals in brackets.
std::string Shape(const FilterExpression& e, std::size_t i = 0) {
    const FilterNode& node = e.Nodes()[i];
    if (node.literal) {
        return "[" + node.text + "]";
    }
    std::string text = node.text + "(";
    for (std::size_t k = 0; k < node.parameters.size(); ++k) {
        text += (k > 0 ? "|" : "") + Shape(e, node.parameters[k]);
    }
    return text + ")";
}

std::string ShapeOf(std::string_view filter) {
    const auto e = ParseFilter(filter);
    return e ? Shape(*e) : "none";
}

int FailureCode(std::string_view filter) {
    try {
        ParseFilter(filter);
    } catch (const CSignException& e) {
        return e.Code();
    }
    return 0;
}

TEST(FilterBlanks, RemovedOutsideBracesOnly) {
    EXPECT_EQ(RemoveFilterBlanks("StrCmp( a ,\tb )"), "StrCmp(a,b)");
    EXPECT_EQ(RemoveFilterBlanks("f({ a b },c d)"), "f({ a b },cd)");
    EXPECT_EQ(RemoveFilterBlanks("f(a\xC2\xA0"
                                 "b,{\xC2\xA0})"),
              "f(ab,{\xC2\xA0})");
    // Other characters ending in the octet 0xA0 stay whole.
    EXPECT_EQ(RemoveFilterBlanks("\xC3\xA0 x"), "\xC3\xA0x");
    // Any "}" ends the braced part, even a nested one.
    EXPECT_EQ(RemoveFilterBlanks("{a {b c} d e}"), "{a {b c}de}");
}

TEST(FilterBraces, MatchingBraceFollowsInnerOpenings) {
    EXPECT_EQ(MatchingBrace("{abc}", 0), 4u);
    EXPECT_EQ(MatchingBrace("{a{b}c}", 0), 6u);
    // Openings before the first "}" each take one more "}", wherever it stands.
    EXPECT_EQ(MatchingBrace("{a{b}c{d}e}", 0), 8u);
    EXPECT_EQ(MatchingBrace("{a{{b}}c}", 0), 8u);
    EXPECT_EQ(MatchingBrace("{a{b}", 0), std::string_view::npos);
    EXPECT_EQ(MatchingBrace("{abc", 0), std::string_view::npos);
}

TEST(FilterParse, BuildsCallsAndLiterals) {
    EXPECT_EQ(ShapeOf("And(StrCmp(IssuerStr(o),{Example CA, Inc.}),QStatusParam(true,))"),
              "And(StrCmp(IssuerStr([o])|[Example CA, Inc.])|QStatusParam([true]))");
    EXPECT_EQ(ShapeOf("QStatus()"), "QStatus()");
    EXPECT_EQ(ShapeOf("f(a,,b)"), "f([a]|[b])");
    EXPECT_EQ(ShapeOf("f(,a)"), "f([a])");
    EXPECT_EQ(ShapeOf("f({x,(y)}z)"), "f([x,(y)]|[z])");
    EXPECT_EQ(ShapeOf("f({})"), "f([])");
    EXPECT_EQ(ShapeOf("f(g(),h(i))"), "f(g()|h([i]))");
    EXPECT_EQ(ShapeOf("(a)"), "([a])");
    EXPECT_EQ(ShapeOf(" Not ( x ) ,trailing(("), "Not([x])");
    EXPECT_EQ(ShapeOf("Not(x))junk"), "Not([x])");
    // A bare literal is no expression.
    EXPECT_EQ(ShapeOf("true"), "none");
    EXPECT_EQ(ShapeOf(""), "none");
    EXPECT_EQ(ShapeOf("{And(a)}"), "none");
    EXPECT_EQ(ShapeOf("a,b(c)"), "none");
}

class FilterParseFailure : public ::testing::Test {
  protected:
    void SetUp() override { SetLanguage("en"); }
    void TearDown() override { ResetLanguageForTesting(); }
};

TEST_F(FilterParseFailure, UnclosedBraceIsMinus21AndUnclosedCallMinus22) {
    const std::pair<const char*, int> cases[] = {
        {"StrCmp({abc,x)", -21},
        {"f({a{b})", -21},
        {"{", -21},
        {"And(true", -22},
        {"And(", -22},
        {"f(a,", -22},
        {"f(g(a)", -22},
        {"f({a}", -22},
        // A later "(" with no "," before it turns everything up to it into a call's name,
        // here "x)And", which then lacks its own ")".
        {"Not(x)And(y)", -22}};
    for (const auto& [filter, code] : cases) {
        EXPECT_EQ(FailureCode(filter), code) << filter;
    }
    for (const auto& [filter, text] : {std::pair{"f({", "Missing \"}\" in parameter"},
                                       std::pair{"Not(x", "Missing \"}\" in expression"}}) {
        try {
            ParseFilter(filter);
            ADD_FAILURE() << filter;
        } catch (const CSignException& e) {
            EXPECT_EQ(e.Text(), text);
        }
    }
}

TEST_F(FilterParseFailure, DeepNestingNeedsNoStack) {
    constexpr int kDepth = 100'000;
    std::string open;
    for (int i = 0; i < kDepth; ++i) {
        open += "Not(";
    }
    EXPECT_EQ(FailureCode(open + "true"), -22);
    const auto parsed = ParseFilter(open + "true" + std::string(kDepth, ')'));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Nodes().size(), static_cast<std::size_t>(kDepth) + 1);
    EXPECT_EQ(FailureCode("f(" + std::string(kDepth, '{')), -21);
    EXPECT_EQ(FailureCode("f(" + std::string(kDepth, '{') + std::string(kDepth, '}')), -22);
}

}  // namespace
}  // namespace quillbox
