#include "signing/filter/certificate_entry.h"

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <ctime>
#include <random>

#include "core/base64/base64_coder.h"
#include "test_certificates.h"
#include "test_support.h"

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
    std::mt19937 random(7);
    int parsed = 0;
    for (int round = 0; round < 2000; ++round) {
        auto copy = der;
        copy[random() % copy.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        if (const auto entry = CertificateEntry::FromDer(copy)) {
            ++parsed;
            ASSERT_GE(entry->qualifiedStatus, -1);
            ASSERT_LE(entry->qualifiedStatus, 3);
        }
    }
    EXPECT_GT(parsed, 0);  // most flips land in the key or the signature
}

}  // namespace
}  // namespace quillbox
