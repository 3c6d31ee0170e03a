// Client-certificate logins end to end: the real "quillbox" program sends a page's data to
// servers that demand a certificate (nginx, and a stricter server that ends the handshake
// without one), the person chooses a certificate on a SoftHSM token and types its PIN inside
// the handshake, and the server reports which certificate it saw.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "core/base64/base64_coder.h"
#include "net/servers/databox_test_server.h"
#include "net/servers/test_servers.h"
#include "platform/xml/xml_document.h"
#include "program_run.h"
#include "softhsm_token.h"
#include "test_support.h"

namespace quillbox {
namespace {

using ::testing::HasSubstr;
using json = nlohmann::json;
using test::ProgramRun;
using test::SoftHsmTokens;

const json kTrustTestRoot = {{"dialog", "certwarning"}, {"answer", "yes"}};
const json kPin = {{"dialog", "pin"}, {"answer", "ok"}, {"pin", SoftHsmTokens::kPin}};
const json kCancelPin = {{"dialog", "pin"}, {"answer", "cancel"}};
const json kChooseNonrep = {{"dialog", "certificates"},
                            {"actions", json::array({{{"select", {{"name", "Quillbox nonrep"}}}},
                                                     {{"confirm", "button"}}})}};
const json kCancelChoice = {{"dialog", "certificates"},
                            {"actions", json::array({{{"cancel", true}}})}};

class ClientCertificateE2eTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        SoftHsmTokens::Get();
        dataBox_ = new test::DataBoxTestServer();
        nginx_ = new test::NginxTlsServer("", SoftHsmTokens::Get().Certificate("ca").pem,
                                          dataBox_->port());
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete dataBox_;
    }
    void SetUp() override {
        if (!nginx_->started())
            GTEST_SKIP() << "nginx did not start";
    }

    // The tasks run one after another in one control; each gets its own line of run.out.
    ProgramRun Exec(const std::vector<std::string>& urls, const json& answers,
                    const std::string& mode = "script", const std::string& loginType = "") {
        std::string later;
        for (std::size_t i = 0; i < urls.size(); ++i) {
            const auto file = scratch / ("task" + std::to_string(i) + ".xml");
            test::WriteFile(file, "<Envelope><task><send doc-id=\"e2e\" url=\"" + urls[i] +
                                      "\" headers=\"\" loginType=\"" + loginType + "\">" +
                                      Base64Coder::EncodeBytes(formData) +
                                      "</send></task></Envelope>");
            if (i > 0)
                later += "'" + file.string() + "' ";
        }
        // Each run starts without a remembered login certificate.
        std::filesystem::remove_all(scratch / "config");
        return test::ExecQuillbox((scratch / "task0.xml").string(), later + "--document", answers,
                                  mode, scratch.path());
    }

    // The decoded bodies of the server's answers, one per task ("" for a task without one).
    static std::vector<std::string> Bodies(const ProgramRun& run) {
        std::vector<std::string> bodies;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            const auto response = xml::XmlDocument::Parse(line);
            const bool ok = response && response->Root().Attribute("result") == "ok";
            bodies.push_back(ok ? Base64Coder::DecodeText(response->Root().Text()) : "");
        }
        return bodies;
    }

    static test::DataBoxTestServer* dataBox_;
    static test::NginxTlsServer* nginx_;
    const std::string formData = "applicant=Jana Nov\xC3\xA1kov\xC3\xA1\n";
    test::TempDir scratch;
    test::ScopedEnv tmp{"TMP", scratch.path().string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
    test::ScopedEnv tokens{"SOFTHSM2_CONF", SoftHsmTokens::Get().ConfigFile().string()};
    test::ScopedEnv module{"QUILLBOX_PKCS11_MODULE", std::string(SoftHsmTokens::kModulePath)};
};

test::DataBoxTestServer* ClientCertificateE2eTest::dataBox_ = nullptr;
test::NginxTlsServer* ClientCertificateE2eTest::nginx_ = nullptr;

// Under each TLS version: the person chooses once and types the PIN once; the server saw
// the chosen certificate; a second send to the same key asks nothing, another key asks for
// the certificate again (the token stays logged in for the control).
TEST_F(ClientCertificateE2eTest, ChosenOncePerKeyAndSignedOnTheToken) {
    for (const auto& [version, url] :
         {std::pair{"TLSv1.2", &test::NginxTlsServer::LoginTls12Url},
          std::pair{"TLSv1.3", &test::NginxTlsServer::LoginTls13Url}}) {
        SCOPED_TRACE(version);
        const std::string first = (nginx_->*url)("login");
        const std::string other = (nginx_->*url)("box/plain/form");
        const ProgramRun run = Exec({first, first + "?again", other},
                                    json::array({kTrustTestRoot, kChooseNonrep, kPin,
                                                 kTrustTestRoot, kTrustTestRoot, kChooseNonrep}));
        ASSERT_EQ(run.status, 0) << run;
        const std::vector<std::string> bodies = Bodies(run);
        ASSERT_EQ(bodies.size(), 3u) << run;
        EXPECT_THAT(bodies[0], HasSubstr("CN=Quillbox nonrep")) << run;
        EXPECT_THAT(bodies[0], HasSubstr(version)) << run;
        EXPECT_EQ(bodies[1], bodies[0]);
        const std::vector<json> choices = run.Dialogs("certificates");
        ASSERT_EQ(choices.size(), 2u) << run;
        const std::string key = first.substr(0, first.rfind('/'));
        EXPECT_THAT(choices[0]["caption"].get<std::string>(), HasSubstr("Log in to " + key));
        EXPECT_THAT(choices[1]["caption"].get<std::string>(),
                    HasSubstr("Log in to " + key + "/box/plain"));
        EXPECT_EQ(run.Dialogs("pin").size(), 1u) << run;
    }
}

// The person's refusals end the send with "cancel" after one question, and servers that
// refuse the certificate sent end with the login error after one choice, not a loop.
TEST_F(ClientCertificateE2eTest, RefusalsEndAfterOneQuestion) {
    const test::ScriptServer strict(
        "strict_tls_server.py",
        {nginx_->certificates().goodCert.string(), nginx_->certificates().goodKey.string(),
         SoftHsmTokens::Get().Certificate("ca").pem.string()});
    const std::string strictUrl = "https://127.0.0.1:" + std::to_string(strict.port()) + "/login";
    const std::string login = nginx_->LoginTls13Url("login");
    const struct {
        const char* name;
        std::string url;
        json answers;
        std::string out;  // the page's answer; empty: the server's answer, checked below
    } cases[] = {
        {"cancel at the dialog",
         login,
         {kTrustTestRoot, kCancelChoice},
         "<sendresult result=\"cancel\"/>\n"},
        {"cancel at the PIN",
         login,
         {kTrustTestRoot, kChooseNonrep, kCancelPin},
         "<sendresult result=\"cancel\"/>\n"},
        {"unknown to the client CA",
         nginx_->ClientCertUrl("login"),
         {kTrustTestRoot, kChooseNonrep, kPin},
         ""},
        {"strict server", strictUrl, {kTrustTestRoot, kChooseNonrep, kPin}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = Exec({c.url}, c.answers);
        EXPECT_EQ(run.Dialogs("certificates").size(), 1u) << run;
        if (!c.out.empty()) {
            EXPECT_EQ(run.out, c.out) << run;
            EXPECT_LE(run.Dialogs("pin").size(), 1u) << run;
        } else if (c.url == strictUrl) {
            EXPECT_THAT(Bodies(run).at(0), HasSubstr("commonName=Quillbox nonrep")) << run;
        } else {
            EXPECT_EQ(run.out, "") << run;
            const std::vector<json> boxes = run.Dialogs("messagebox");
            ASSERT_EQ(boxes.size(), 1u) << run;
            EXPECT_THAT(boxes[0].dump(), HasSubstr("Login to server 127.0.0.1")) << run;
        }
    }
}

// A data-box login behind a server that also wants a certificate: certificate and PIN
// first, then the one-time code; the data reaches the service once.
TEST_F(ClientCertificateE2eTest, DataBoxLoginAfterTheCertificate) {
    dataBox_->Reset();
    const ProgramRun run =
        Exec({nginx_->LoginTls12Url("box/hotp/form")},
             json::array({kTrustTestRoot,
                          kChooseNonrep,
                          kPin,
                          {{"dialog", "login"},
                           {"user", test::kDataBoxUser},
                           {"password", test::kDataBoxPassword},
                           {"code", test::kDataBoxHotpCode}},
                          // The stand-in's service host speaks plain HTTP: the person lets it.
                          kTrustTestRoot}),
             "script", "token");
    ASSERT_EQ(run.status, 0) << run;
    EXPECT_THAT(Bodies(run).at(0), HasSubstr("bytes=\"" + std::to_string(formData.size()))) << run;
    std::vector<std::string> steps;
    for (const json& seen : dataBox_->Seen())
        steps.push_back(seen["flow"].get<std::string>() + " " + seen["step"].get<std::string>());
    EXPECT_EQ(steps,
              (std::vector<std::string>{"hotp challenge", "hotp login-ok", "service service"}));
}

// The real certificate dialog and PIN prompt show what the scripted person saw.
TEST_F(ClientCertificateE2eTest, RealWindowsAgreeWithTheScript) {
    const json answers = json::array({kTrustTestRoot, kChooseNonrep, kPin});
    const std::string url = nginx_->LoginTls13Url("login");
    const ProgramRun scripted = Exec({url}, answers, "script");
    const ProgramRun real = Exec({url}, answers, "qt");
    ASSERT_EQ(real.status, 0) << real;
    EXPECT_EQ(Bodies(real), Bodies(scripted));
    EXPECT_EQ(real.Agreed().dump(1), scripted.Agreed().dump(1));
}

}  // namespace
}  // namespace quillbox
