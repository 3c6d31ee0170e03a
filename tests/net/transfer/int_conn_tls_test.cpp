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

    ResultCode Read(const std::string& url, Response& r) {
        IntConn conn;
        if (!test::Open(conn, url, transfer_flags::kDownload, reports))
            return ResultCode::Failed;
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

// A trusted certificate asks nothing. Each problem: "no" cancels, "yes" passes.
TEST_F(IntConnTlsTest, EachProblemAsks) {
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

        person.Answer(R"([{"dialog": "certwarning", "answer": "yes"}])");
        Response allowed;
        ASSERT_EQ(Read(url, allowed), ResultCode::Success);
        EXPECT_EQ(allowed.Text(), "over tls");
        EXPECT_EQ(person.Transcript().size(), 1u);
    }
}

// A key that signs in software and offers only some operations, as tokens do.
class SoftwareKey final : public http::ClientKey {
  public:
    SoftwareKey(const std::filesystem::path& dir, std::set<http::KeyOperation> offered)
        : offered_(std::move(offered)) {
        const std::string der = test::ReadFile(dir / "cert.der");
        der_.assign(der.begin(), der.end());
        std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_file((dir / "key.pem").c_str(), "r"),
                                                     BIO_free);
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
                     " -CAcreateserial -days 2 -outform DER -out cert.der 2>/dev/null")
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
        steps.key = std::make_shared<SoftwareKey>(keys.path(), c.offered);
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
