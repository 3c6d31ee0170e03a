#include "signing/qcert/asn_parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <openssl/objects.h>

#include <memory>
#include <string>
#include <vector>

namespace quillbox::QCertFilter {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records which handler saw which element.
class RecordingParser : public ASN_Parser {
  public:
    const std::uint8_t* OnOctetString(const std::uint8_t* c, std::size_t n) override {
        events.push_back("octets:" + std::to_string(n));
        return ASN_Parser::OnOctetString(c, n);
    }
    const std::uint8_t* OnInteger(const std::uint8_t* c, std::size_t n) override {
        events.push_back("integer:" + std::to_string(n));
        return ASN_Parser::OnInteger(c, n);
    }
    const std::uint8_t* OnGeneralizedTime(const std::uint8_t* c, std::size_t n) override {
        events.push_back("time:" + std::to_string(n));
        return ASN_Parser::OnGeneralizedTime(c, n);
    }
    const std::uint8_t* OnDefault(const std::uint8_t* c, std::size_t n) override {
        events.push_back("default:" + std::to_string(n));
        return ASN_Parser::OnDefault(c, n);
    }
    const std::uint8_t* OnHighIdentifier(std::uint8_t id, const std::uint8_t* c,
                                         std::size_t n) override {
        events.push_back("high:" + std::to_string(id));
        return ASN_Parser::OnHighIdentifier(id, c, n);
    }
    const std::uint8_t* OnObjectIdentifier(const std::uint8_t* c, std::size_t n) override {
        const std::uint8_t* after = ASN_Parser::OnObjectIdentifier(c, n);
        events.push_back("oid:" + CurrentOid() + "@" + std::to_string(Depth()));
        return after;
    }
    void OnEmptyElement(std::uint8_t id) override {
        events.push_back("empty:" + std::to_string(id));
    }

    std::vector<std::string> events;
};

std::vector<std::string> Events(const Bytes& der) {
    RecordingParser parser;
    parser.Parse(der);
    return parser.events;
}

std::string ParseFailure(const Bytes& der) {
    RecordingParser parser;
    try {
        parser.Parse(der);
    } catch (const AsnParseError& e) {
        return e.what();
    }
    return "no failure";
}

TEST(AsnParserWalk, DispatchesEachElementAndSkipsZeroLengthOnes) {
    const Bytes der = {
        0x30, 0x21,                                // SEQUENCE
        0x02, 0x01, 0x05,                          // INTEGER 5
        0x05, 0x00,                                // NULL
        0x06, 0x03, 0x55, 0x04, 0x03,              // OID 2.5.4.3
        0x04, 0x02, 0xAB, 0xCD,                    // OCTET STRING
        0x18, 0x01, 0x30,                          // GeneralizedTime (content not parsed)
        0x0C, 0x01, 0x41,                          // UTF8String
        0xA0, 0x05, 0x06, 0x03, 0x2A, 0x03, 0x04,  // [0] { OID 1.2.3.4 }
        0x81, 0x02, 0x06, 0x00,                    // [1] primitive: not an encoding
        0xA3, 0x00,                                // empty [3]
    };
    EXPECT_THAT(Events(der),
                ::testing::ElementsAre("integer:1", "empty:5", "oid:2.5.4.3@2", "octets:2",
                                       "time:1", "default:1", "high:160", "oid:1.2.3.4@3",
                                       "high:129", "default:2", "empty:163"));
    // [APPLICATION 200] constructed, tag number in two octets, holding an OID.
    EXPECT_THAT(Events({0x7F, 0x81, 0x48, 0x03, 0x06, 0x01, 0x2A}),
                ::testing::ElementsAre("high:127", "oid:1.2@2"));
}

TEST(AsnParserWalk, IndefiniteLengthsRunToEndOfContents) {
    const Bytes der = {0x30, 0x80, 0x30, 0x80, 0x06, 0x01, 0x2A,
                       0x00, 0x00, 0x02, 0x01, 0x01, 0x00, 0x00};
    EXPECT_THAT(Events(der), ::testing::ElementsAre("oid:1.2@3", "integer:1"));
    EXPECT_EQ(ParseFailure({0x30, 0x80, 0x02, 0x01, 0x01}), "Missing end-of-contents");
    EXPECT_EQ(ParseFailure({0x30, 0x80, 0x00}), "Length parsing Error");
    // The marker must lie inside the enclosing definite content.
    EXPECT_EQ(ParseFailure({0x30, 0x04, 0x30, 0x80, 0x05, 0x00, 0x00, 0x00}),
              "Missing end-of-contents");
}

TEST(AsnParserWalk, LengthsAreCheckedAgainstTheirContent) {
    EXPECT_EQ(ParseFailure({0x30, 0x82, 0x01, 0x00, 0x05, 0x00}), "Length parsing Error");
    EXPECT_EQ(ParseFailure({0x30, 0x84, 0x01}), "Length parsing Error");
    EXPECT_EQ(ParseFailure({0x30, 0x03, 0x04, 0x05, 0x00}), "Length parsing Error");
    EXPECT_EQ(ParseFailure({0x30}), "Length parsing Error");
    // Nine length octets would overflow a 64-bit size.
    EXPECT_EQ(ParseFailure({0x04, 0x89, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
              "Length parsing Error");
    // Long form with leading zero octets is accepted.
    EXPECT_THAT(Events({0x30, 0x83, 0x00, 0x00, 0x03, 0x02, 0x01, 0x07}),
                ::testing::ElementsAre("integer:1"));
    // A high tag number whose octets run out.
    EXPECT_EQ(ParseFailure({0x30, 0x02, 0xBF, 0x81}), "Identifier parsing Error");

    RecordingParser parser;
    const std::uint8_t byte = 0;
    EXPECT_THROW(parser.OnHighIdentifier(0xA0, &byte, ASN_Parser::kMaxHighElementLength + 1),
                 AsnParseError);
    EXPECT_THROW(parser.Parse(Bytes{0x30, 0x05, 0x30, 0x03, 0x30, 0x09, 0x00}), AsnParseError);
    // State is restored after a failure.
    EXPECT_EQ(parser.Depth(), 0);
    EXPECT_EQ(parser.CurrentEnd(), nullptr);
}

TEST(AsnParserWalk, DeepNestingFailsInsteadOfExhaustingTheStack) {
    Bytes indefinite;
    for (int i = 0; i < 100'000; ++i) {
        indefinite.insert(indefinite.end(), {0x30, 0x80});
    }
    EXPECT_EQ(ParseFailure(indefinite), "Nesting too deep");

    // Each level wrapped in a SEQUENCE with a four-octet length.
    auto wrap = [](const Bytes& inner) {
        const auto n = inner.size();
        Bytes outer = {0x30,
                       0x84,
                       static_cast<std::uint8_t>(n >> 24),
                       static_cast<std::uint8_t>(n >> 16),
                       static_cast<std::uint8_t>(n >> 8),
                       static_cast<std::uint8_t>(n)};
        outer.insert(outer.end(), inner.begin(), inner.end());
        return outer;
    };
    Bytes definite = {0x05, 0x00};
    for (int i = 0; i < ASN_Parser::kMaxDepth - 1; ++i) {
        definite = wrap(definite);
    }
    EXPECT_EQ(ParseFailure(definite), "no failure");  // the outer Walk plus 63 nested ones
    definite = wrap(definite);
    EXPECT_EQ(ParseFailure(definite), "Nesting too deep");
}

std::string Oid(const Bytes& content) {
    return ASN_Parser::DecodeOid(content);
}

std::string OpenSslOid(const std::string& dotted) {
    std::unique_ptr<ASN1_OBJECT, decltype(&ASN1_OBJECT_free)> object(OBJ_txt2obj(dotted.c_str(), 1),
                                                                     ASN1_OBJECT_free);
    return Oid(
        Bytes(OBJ_get0_data(object.get()), OBJ_get0_data(object.get()) + OBJ_length(object.get())));
}

TEST(AsnParserOid, DecodesArcsToDottedText) {
    EXPECT_EQ(Oid({0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x01, 0x03}), "1.3.6.1.5.5.7.1.3");
    EXPECT_EQ(Oid({0x04, 0x00, 0x8E, 0x46, 0x01, 0x01}), "0.4.0.1862.1.1");
    EXPECT_EQ(Oid({0x00}), "0.0");
    EXPECT_EQ(Oid({}), "");
    // The first subidentifier may itself span octets when the first arc is 2.
    EXPECT_EQ(Oid({0x88, 0x37, 0x03}), "2.999.3");
    // Arcs past 64 bits, also in the first subidentifier, are kept whole.
    for (const char* dotted : {"2.25.329800735698586629295641978511506172918",
                               "1.2.18446744073709551615.18446744073709551616",
                               "2.340282366920938463463374607431768211456"}) {
        EXPECT_EQ(OpenSslOid(dotted), dotted);
    }
    // Fifteen arcs are kept; a cut arc is refused.
    Bytes many = {0x2A};
    for (int i = 3; i <= 20; ++i) {
        many.push_back(static_cast<std::uint8_t>(i));
    }
    EXPECT_EQ(Oid(many), "1.2.3.4.5.6.7.8.9.10.11.12.13.14.15");
    EXPECT_THROW(Oid({0x2A, 0x86}), AsnParseError);
    EXPECT_THROW(Oid(Bytes(200, 0x81)), AsnParseError);
}

}  // namespace
}  // namespace quillbox::QCertFilter
