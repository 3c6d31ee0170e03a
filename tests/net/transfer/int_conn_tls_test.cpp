// Certificate problems in the request loop, against nginx with certificates of every kind.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdlib>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "core/messages/messages.h"
#include "net/servers/test_servers.h"
#include "net/transfer/int_conn.h"
#include "net/transfer/server_auth_steps.h"
#include "net_test_reports.h"
#include "platform/http/transfer.h"

namespace quillbox::net {
namespace {

using test::NetReports;
using test::Response;

class IntConnTlsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        plain_ = new test::HttpTestServer();
        nginx_ = new test::NginxTlsServer(plain_->Url("?body=plain"));
        if (nginx_->started()) {
            http::SetTrustAnchorsFile(nginx_->certificates().caCert.string());
            test::WriteFile(nginx_->docroot() / "task.txt", "over tls");
        }
    }
    static void TearDownTestSuite() {
        http::SetTrustAnchorsFile("");
        delete nginx_;
        delete plain_;
    }
    void SetUp() override {
        if (!nginx_->started())
            GTEST_SKIP() << "nginx did not start";
        SetLanguage("en");
    }
    void TearDown() override { SetServerAuthSteps(nullptr); }

    ResultCode Read(const std::string& url, Response& r, bool tolerate = false,
                    unsigned flags = transfer_flags::kDownload) {
        IntConn conn;
        if (!test::Open(conn, url, flags, reports))
            return ResultCode::Failed;
        if (tolerate)
            conn.SetTolerateCertErrors(true);
        return conn.ReadResponse(r.Out(), &NetReports::Callback);
    }

    static test::HttpTestServer* plain_;
    static test::NginxTlsServer* nginx_;
    NetReports reports;
    test::ScriptedPerson person;
};

test::HttpTestServer* IntConnTlsTest::plain_ = nullptr;
test::NginxTlsServer* IntConnTlsTest::nginx_ = nullptr;

struct Problem {
    const char* name;
    std::string (test::NginxTlsServer::*url)(const std::string&) const;
    const char* words;  // part of the warning the person reads
};

const Problem kProblems[] = {
    {"expired", &test::NginxTlsServer::ExpiredUrl, "has expired"},
    {"wrongName", &test::NginxTlsServer::WrongNameUrl, "another server name"},
    {"untrusted", &test::NginxTlsServer::UntrustedUrl, "not trusted"},
};

// A trusted certificate asks nothing. Each problem: "no" cancels, nobody to answer means no,
// "yes" passes, tolerance skips the ask.
TEST_F(IntConnTlsTest, EachProblemAsksUnlessTolerated) {
    person.Answer("[]");
    Response trusted;
    ASSERT_EQ(Read(nginx_->GoodUrl("task.txt"), trusted), ResultCode::Success);
    EXPECT_EQ(trusted.Text(), "over tls");
    EXPECT_TRUE(person.Transcript().empty());
    for (const auto& p : kProblems) {
        SCOPED_TRACE(p.name);
        const std::string url = (nginx_->*p.url)("task.txt");
        person.Answer(R"([{"dialog": "certwarning", "answer": "no"}])");
        Response refused;
        EXPECT_EQ(Read(url, refused), ResultCode::Cancelled);
        EXPECT_EQ(refused.length, 0u);
        const auto lines = person.Transcript();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["host"], "127.0.0.1");
        const std::string problem = lines[0]["texts"][0];
        EXPECT_NE(problem.find(p.words), std::string::npos) << problem;
        EXPECT_NE(problem.find("127.0.0.1"), std::string::npos);

        person.Answer("[]");
        Response unanswered;
        EXPECT_EQ(Read(url, unanswered), ResultCode::Cancelled);

        person.Answer(R"([{"dialog": "certwarning", "answer": "yes"}])");
        Response allowed;
        ASSERT_EQ(Read(url, allowed), ResultCode::Success);
        EXPECT_EQ(allowed.Text(), "over tls");
        EXPECT_EQ(person.Transcript().size(), 1u);

        person.Answer("[]");
        Response tolerated;
        ASSERT_EQ(Read(url, tolerated, true), ResultCode::Success);
        EXPECT_EQ(tolerated.Text(), "over tls");
        EXPECT_TRUE(person.Transcript().empty());
    }
}

TEST_F(IntConnTlsTest, TrustedDomainCheckTurnsOnTolerance) {
    struct Trusting : ServerAuthSteps {
        std::vector<std::string> TrustedDomainSuffixes() override { return {"0.0.1"}; }
    } steps;
    SetServerAuthSteps(&steps);
    person.Answer("[]");
    Response r;
    ASSERT_EQ(Read(nginx_->UntrustedUrl("task.txt"), r, false, 12210), ResultCode::Success);
    EXPECT_TRUE(person.Transcript().empty());
    // Without the flag digit the suffixes are not consulted.
    Response refused;
    EXPECT_EQ(Read(nginx_->UntrustedUrl("task.txt"), refused, false, 2210), ResultCode::Cancelled);
}

// A key that signs in software and offers only some operations, as tokens do.
class SoftwareKey final : public http::ClientKey {
  public:
    SoftwareKey(const std::filesystem::path& cert, const std::filesystem::path& key,
                std::set<http::KeyOperation> offered)
        : offered_(std::move(offered)) {
        std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_file(cert.c_str(), "r"), BIO_free);
        X509* x509 = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr);
        const int length = i2d_X509(x509, nullptr);
        der_.resize(static_cast<std::size_t>(length));
        unsigned char* out = der_.data();
        i2d_X509(x509, &out);
        X509_free(x509);
        in.reset(BIO_new_file(key.c_str(), "r"));
        key_.reset(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    }
    const std::vector<std::uint8_t>& CertificateDer() const override { return der_; }
    bool Offers(http::KeyOperation operation) const override {
        return offered_.count(operation) != 0;
    }
    http::KeyOutcome Sign(http::KeyOperation operation, std::span<const std::uint8_t> input,
                          std::vector<std::uint8_t>& signature) override {
        used.push_back(operation);
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
            EVP_PKEY_CTX_new(key_.get(), nullptr), EVP_PKEY_CTX_free);
        EVP_PKEY_sign_init(context.get());
        EVP_PKEY_CTX_set_rsa_padding(context.get(), operation == http::KeyOperation::Pkcs1
                                                        ? RSA_PKCS1_PADDING
                                                        : RSA_NO_PADDING);
        std::size_t length = 0;
        EVP_PKEY_sign(context.get(), nullptr, &length, input.data(), input.size());
        signature.resize(length);
        if (EVP_PKEY_sign(context.get(), signature.data(), &length, input.data(), input.size()) !=
            1)
            return http::KeyOutcome::Failed;
        signature.resize(length);
        return http::KeyOutcome::Done;
    }
    std::vector<http::KeyOperation> used;

  private:
    std::vector<std::uint8_t> der_;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key_{nullptr, EVP_PKEY_free};
    std::set<http::KeyOperation> offered_;
};

// What a key can do decides the handshake: the raw operation (RSA-PSS padded by OpenSSL)
// allows TLS 1.3; a key with PKCS #1 signatures only is held to TLS 1.2. Without any key the
// request ends at once as the server's refusal, not 20 handshakes.
TEST_F(IntConnTlsTest, ClientKeyOperationsChooseTheHandshake) {
    test::TempDir keys;
    const auto& certs = nginx_->certificates();
    ASSERT_EQ(
        std::system(("cd " + keys.path().string() +
                     " && openssl req -new -newkey rsa:2048 -nodes -keyout key.pem -subj "
                     "'/CN=Software Client' -out req.pem 2>/dev/null && openssl x509 -req -in "
                     "req.pem -CA " +
                     certs.caCert.string() + " -CAkey " + certs.caKey.string() +
                     " -CAcreateserial -days 2 -out cert.pem 2>/dev/null")
                        .c_str()),
        0);
    using Op = http::KeyOperation;
    const struct {
        const char* name;
        std::set<Op> offered;
        Op used;
        const char* version;
    } cases[] = {
        {"raw RSA", {Op::Raw}, Op::Raw, "TLSv1.3"},
        {"PKCS #1 only", {Op::Pkcs1}, Op::Pkcs1, "TLSv1.2"},
    };
    struct Installing : ServerAuthSteps {
        std::shared_ptr<SoftwareKey> key;
        StepAnswer ClientCertificate(IntConn& connection) override {
            return connection.InstallClientKey("id", key) ? StepAnswer::Handled
                                                          : StepAnswer::NotHandled;
        }
    } steps;
    SetServerAuthSteps(&steps);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        steps.key = std::make_shared<SoftwareKey>(keys / "cert.pem", keys / "key.pem", c.offered);
        Response r;
        ASSERT_EQ(Read(nginx_->ClientCertUrl("login"), r), ResultCode::Success);
        EXPECT_EQ(r.Text(), "CN=Software Client\n" + std::string(c.version) + "\n");
        ASSERT_FALSE(steps.key->used.empty());
        EXPECT_EQ(steps.key->used.back(), c.used);
    }

    SetServerAuthSteps(nullptr);
    Response none;
    EXPECT_EQ(Read(nginx_->ClientCertUrl("login"), none), ResultCode::ServerError);
    EXPECT_FALSE(reports.Has(MyNet_Error, "Maximum of requests exceeded"));
}

TEST_F(IntConnTlsTest, RedirectToPlainHttpNeedsConsent) {
    person.Answer(
        R"([{"dialog": "certwarning", "answer": "no"}, {"dialog": "certwarning", "answer": "yes"}])");
    Response refused;
    EXPECT_EQ(Read(nginx_->GoodUrl("tohttp"), refused), ResultCode::Cancelled);
    Response allowed;
    ASSERT_EQ(Read(nginx_->GoodUrl("tohttp"), allowed), ResultCode::Success);
    EXPECT_EQ(allowed.Text(), "plain");
    const auto lines = person.Transcript();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0]["texts"][0].get<std::string>().find("unsecured"), std::string::npos);
}

}  // namespace
}  // namespace quillbox::net
