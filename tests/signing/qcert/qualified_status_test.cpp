#include "signing/qcert/qualified_certificate_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "test_certificates.h"
#include "test_support.h"

namespace quillbox::QCertFilter {
namespace {

using test::CertificateSpec;
using test::MakeCertificate;

const std::string kCompliance(kQcComplianceOid);
const std::string kSscd(kQcSscdOid);

std::vector<std::uint8_t> WithStatements(std::vector<std::string> statements) {
    CertificateSpec spec;
    spec.qcStatements = std::move(statements);
    return MakeCertificate(spec);
}

TEST(QualifiedStatus, FollowsTheStatementsOfTheStatementsExtension) {
    EXPECT_EQ(QualifiedStatus(MakeCertificate({})), kQualifiedStatusNone);
    EXPECT_EQ(QualifiedStatus(WithStatements({kCompliance})), kQualifiedStatusQualified);
    EXPECT_EQ(QualifiedStatus(WithStatements({kSscd})), kQualifiedStatusDevice);
    EXPECT_EQ(QualifiedStatus(WithStatements({kSscd, kCompliance})),
              kQualifiedStatusQualifiedOnDevice);
    EXPECT_EQ(QualifiedStatus(WithStatements({"0.4.0.1862.1.6", "0.4.0.1862.1.5"})),
              kQualifiedStatusNone);
    // A critical flag between identifier and value is passed over.
    CertificateSpec critical;
    critical.qcStatements = {kCompliance, kSscd};
    critical.qcStatementsCritical = true;
    EXPECT_EQ(QualifiedStatus(MakeCertificate(critical)), kQualifiedStatusQualifiedOnDevice);
    const auto real = test::DerFromPemFile(test::TestData("certs/john_doe_tc.pem").string());
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(QualifiedStatus(real), kQualifiedStatusQualified);
}

TEST(QualifiedStatus, StatementIdentifiersOutsideTheExtensionDoNotCount) {
    CertificateSpec policy;
    policy.policies = {kCompliance, kSscd};
    EXPECT_EQ(QualifiedStatus(MakeCertificate(policy)), kQualifiedStatusNone);

    CertificateSpec inName;
    inName.subject = {{"CN", "x"}, {kCompliance, "qualified"}};
    EXPECT_EQ(QualifiedStatus(MakeCertificate(inName)), kQualifiedStatusNone);

    CertificateSpec both = policy;
    both.qcStatements = {kSscd};
    EXPECT_EQ(QualifiedStatus(MakeCertificate(both)), kQualifiedStatusDevice);
}

TEST(QualifiedStatus, TooShortOrMissingEncodingIsAnError) {
    EXPECT_EQ(QualifiedStatus(nullptr, 100), kQualifiedStatusError);
    EXPECT_EQ(QualifiedStatus(std::vector<std::uint8_t>{}), kQualifiedStatusError);
    const std::vector<std::uint8_t> ten = {0x30, 0x08, 0x05, 0x00, 0x05,
                                           0x00, 0x05, 0x00, 0x05, 0x00};
    EXPECT_EQ(QualifiedStatus(ten), kQualifiedStatusError);
    std::vector<std::uint8_t> twelve = ten;
    twelve[1] = 0x0A;
    twelve.insert(twelve.end(), {0x05, 0x00});
    EXPECT_EQ(QualifiedStatus(twelve), kQualifiedStatusNone);
}

TEST(QualifiedStatus, EveryTruncationIsAnError) {
    const auto der = WithStatements({kCompliance, kSscd});
    for (std::size_t n = 0; n < der.size(); ++n) {
        // A copy of exactly n bytes, so that a read past it is caught by the sanitizers.
        const std::vector<std::uint8_t> cut(der.begin(), der.begin() + static_cast<long>(n));
        ASSERT_EQ(QualifiedStatus(cut), kQualifiedStatusError) << "length " << n;
    }
    EXPECT_EQ(QualifiedStatus(der), kQualifiedStatusQualifiedOnDevice);
}

TEST(QualifiedStatus, CorruptedCopiesGiveAStatusInRange) {
    std::vector<std::vector<std::uint8_t>> originals = {
        WithStatements({kCompliance, kSscd}), WithStatements({kCompliance}),
        test::DerFromPemFile(test::TestData("certs/john_doe_tc.pem").string())};
    std::mt19937 random(1862);
    for (const auto& original : originals) {
        for (int round = 0; round < 3000; ++round) {
            std::vector<std::uint8_t> copy = original;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i) {
                copy[random() % copy.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            }
            const int status = QualifiedStatus(copy);
            ASSERT_GE(status, -1);
            ASSERT_LE(status, 3);
        }
    }
}

TEST(QualifiedStatus, IndefiniteLengthStatementsAreFound) {
    // Extension { OID qcStatements, OCTET STRING { SEQUENCE(indef) { SEQUENCE { OID } } } }
    // inside an outer sequence padded past the minimum length.
    const std::vector<std::uint8_t> der = {0x30, 0x20, 0x05, 0x00, 0x30, 0x1A, 0x06, 0x08, 0x2B,
                                           0x06, 0x01, 0x05, 0x05, 0x07, 0x01, 0x03, 0x04, 0x0E,
                                           0x30, 0x80, 0x30, 0x08, 0x06, 0x06, 0x04, 0x00, 0x8E,
                                           0x46, 0x01, 0x01, 0x00, 0x00, 0x05, 0x00};
    EXPECT_EQ(QualifiedStatus(der), kQualifiedStatusQualified);
}

}  // namespace
}  // namespace quillbox::QCertFilter
