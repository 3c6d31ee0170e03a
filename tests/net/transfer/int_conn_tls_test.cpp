// Certificate problems in the request loop, against nginx with certificates of every kind.
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

TEST_F(IntConnTlsTest, ClientCertificateRequestGoesToErrorHandling) {
    person.Answer("[]");
    Response r;
    // No client-certificate step installed: the loop retries until its limit.
    EXPECT_EQ(Read(nginx_->ClientCertUrl("task.txt"), r), ResultCode::Failed);
    EXPECT_TRUE(reports.Has(MyNet_Error, "Maximum of requests exceeded"));

    struct Refusing : ServerAuthSteps {
        int calls = 0;
        StepAnswer ClientCertificate(IntConn&) override {
            ++calls;
            return StepAnswer::Cancelled;
        }
    } steps;
    SetServerAuthSteps(&steps);
    Response cancelled;
    EXPECT_EQ(Read(nginx_->ClientCertUrl("task.txt"), cancelled), ResultCode::Cancelled);
    EXPECT_EQ(steps.calls, 1);
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
