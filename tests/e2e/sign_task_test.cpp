// Whole tasks end to end: the real "quillbox" program fetches a signed task document from a
// local HTTP or HTTPS server, and a person played from an answers file goes through every
// dialog on the way (wait dialog, certificate dialog on a SoftHSM token, PIN prompt,
// credentials, certificate warning, error boxes); a signature is checked the way a server
// would check it. Each case runs once per way of answering the dialogs: "script" answers
// them itself, "qt" drives the real windows from the same answers file, and both write the
// same transcript.
#include <algorithm>
#include <iterator>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "core/base64/base64_coder.h"
#include "net/servers/test_servers.h"
#include "platform/xml/xml_document.h"
#include "program_run.h"
#include "softhsm_token.h"
#include "task_server.h"
#include "test_support.h"

namespace quillbox {
namespace {

using ::testing::Contains;
using ::testing::StartsWith;
using json = nlohmann::json;
using test::ProgramRun;
using test::SoftHsmTokens;

constexpr const char* kPluginInfo =
    "<plugininfo result=\"ok\"><summary name=\"ocx\" version=\"1.31.0\"/></plugininfo>\n";
json Pin(const std::string& pin) {
    return {{"dialog", "pin"}, {"answer", "ok"}, {"pin", pin}};
}

json Credentials(const std::string& user, const std::string& password) {
    return {{"dialog", "credentials"}, {"answer", "ok"}, {"user", user}, {"password", password}};
}

// The person selects the certificate, looks at the preview and then does `decision`.
json Chooses(const std::string& certificate, const json& decision) {
    return {{"dialog", "certificates"},
            {"actions",
             json::array({{{"select", {{"name", certificate}}}}, {{"preview", true}}, decision})}};
}

const json kConfirm = {{"confirm", "button"}};
const json kCancel = {{"cancel", true}};

// The question came while the wait dialog was showing: what the real windows must survive.
void ExpectAskedWhileWaiting(const ProgramRun& run, const json& question) {
    const std::vector<json> waits = run.Dialogs("wait");
    EXPECT_TRUE(std::any_of(waits.begin(), waits.end(), [&](const json& wait) {
        return wait["shown"] == true &&
               wait["shownAt"].get<std::string>() < question["time"].get<std::string>();
    })) << run;
}

// The parameter is the way of answering the dialogs, as --ui takes it before ":ANSWERS".
class SignTaskE2eTest : public ::testing::TestWithParam<std::string> {
  protected:
    static void SetUpTestSuite() { SoftHsmTokens::Get(); }

    // Serves the task as the signed task document "task.p7" with formData as its data.
    void ServeSignTask(const std::string& task, const std::string& previewUrl) {
        test::MakeTaskDocument("<Envelope><task><" + task + " doc-id=\"e2e\"/></task><data " +
                                   "alg=\"rsa-sha256\">" + Base64Coder::EncodeBytes(formData) +
                                   "</data><preview url=\"" + previewUrl + "\"/></Envelope>",
                               served.path() / "task.p7");
    }

    // Runs the task at url with the person who gives these answers, in the case's way of
    // answering unless mode names another.
    ProgramRun Exec(const std::string& url, const json& answers, std::string mode = "") {
        return test::ExecQuillbox(url, "", answers, mode.empty() ? GetParam() : mode,
                                  scratch.path());
    }

    const std::string formData = "applicant=Jana Nov\xC3\xA1kov\xC3\xA1\namount=1200 CZK\n";
    test::TempDir served;
    test::TempDir scratch;
    test::ScopedEnv tmp{"TMP", scratch.path().string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
    test::ScopedEnv tokens{"SOFTHSM2_CONF", SoftHsmTokens::Get().ConfigFile().string()};
    test::ScopedEnv module{"QUILLBOX_PKCS11_MODULE", std::string(SoftHsmTokens::kModulePath)};
    test::TaskServer server{served.path()};
};

// The answer's details are the signing task tests' part; here the whole program's
// signature must verify as a server would check it, after a slow download and a PIN
// typed wrong once.
TEST_P(SignTaskE2eTest, SignTaskAnswersWithASignatureOpensslVerifies) {
    test::WriteFile(served.path() / "preview.txt", formData);
    ServeSignTask("sign", server.Url("preview.txt"));
    const ProgramRun run = Exec(
        server.Url("task.p7?delay=600"),
        json::array({Chooses("Quillbox nonrep", kConfirm), Pin("9999"), Pin(SoftHsmTokens::kPin)}));
    ASSERT_EQ(run.status, 0) << run;

    const auto response = xml::XmlDocument::Parse(run.out);
    ASSERT_TRUE(response) << run;
    const xml::XmlNode signature = response->Root().FirstChild();
    ASSERT_EQ(signature.LocalName(), "SignatureValue") << run;
    test::WriteFile(scratch / "data", formData);
    test::WriteFile(scratch / "signature.bin", Base64Coder::DecodeText(signature.Text()));
    EXPECT_EQ(test::RunCommand("openssl dgst -sha256 -verify " +
                               SoftHsmTokens::Get().PublicKeyPem().string() + " -signature " +
                               (scratch / "signature.bin").string() + " " +
                               (scratch / "data").string() + " >/dev/null 2>&1"),
              0);
    EXPECT_EQ(signature.NextSibling().Attribute("id"),
              SoftHsmTokens::Get().Certificate("nonrep").id);

    // The wait dialog showed for the slow task document; the person saw the preview
    // fetched from the page's server, then the PIN prompt again, saying why.
    ASSERT_FALSE(run.Dialogs("wait").empty()) << run;
    EXPECT_EQ(run.Dialogs("wait")[0]["shown"], true) << run;
    const std::vector<json> dialogs = run.Dialogs("certificates");
    ASSERT_EQ(dialogs.size(), 1u) << run;
    EXPECT_EQ(dialogs[0]["actions"][1]["text"], formData);
    const std::vector<json> pins = run.Dialogs("pin");
    ASSERT_EQ(pins.size(), 2u) << run;
    EXPECT_TRUE(pins[0]["warnings"].empty());
    EXPECT_THAT(pins[1]["warnings"].get<std::vector<std::string>>(),
                Contains("The PIN was wrong. Enter it again."));
    EXPECT_TRUE(run.Dialogs("messagebox").empty()) << run;
    // A task from the command line names no page in its dialogs.
    for (const json& line : run.transcript) {
        EXPECT_FALSE(line.contains("requester")) << line;
    }
}

TEST_P(SignTaskE2eTest, ServerErrorPageForAMissingPreviewIsNotShownAsTheData) {
    ServeSignTask("choosecert", server.Url("missing.txt"));
    const ProgramRun run =
        Exec(server.Url("task.p7"), json::array({Chooses("Quillbox qc-both", kConfirm)}));
    EXPECT_THAT(run.out, StartsWith("<certificate result=\"ok\">")) << run;
    const std::vector<json> dialogs = run.Dialogs("certificates");
    ASSERT_EQ(dialogs.size(), 1u) << run;
    EXPECT_TRUE(dialogs[0]["actions"][1]["text"].is_null());
}

TEST_P(SignTaskE2eTest, CancelAtTheDialogOrThePinPromptAnswersCancelWithNoChildren) {
    test::WriteFile(served.path() / "preview.txt", formData);
    ServeSignTask("sign", server.Url("preview.txt"));
    const struct {
        const char* where;
        json answers;
        std::size_t pinPrompts;
    } cases[] = {
        {"certificate dialog", json::array({Chooses("Quillbox nonrep", kCancel)}), 0},
        {"PIN prompt",
         json::array(
             {Chooses("Quillbox nonrep", kConfirm), {{"dialog", "pin"}, {"answer", "cancel"}}}),
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const ProgramRun run = Exec(server.Url("task.p7"), c.answers);
        EXPECT_EQ(run.status, 0) << run;
        EXPECT_EQ(run.out, "<signresponse result=\"cancel\"/>\n") << run;
        EXPECT_EQ(run.Dialogs("pin").size(), c.pinPrompts) << run;
    }
}

// The task document is slow to come and its download stops for a question: the server
// wants a login, or its certificate is not trusted. The answer decides whether the task
// runs or the download fails with an error box.
TEST_P(SignTaskE2eTest, AQuestionDuringTheDownloadDecidesWhetherTheTaskRuns) {
    std::filesystem::create_directories(scratch / "certificates");
    const test::TestCertificates certificates(scratch / "certificates");
    test::TempDir secureRoot;
    const test::TaskServer secure(secureRoot.path(), {.tlsCert = certificates.untrustedCert,
                                                      .tlsKey = certificates.untrustedKey,
                                                      .handshakeDelayMs = 800});
    const std::string task =
        test::ReadFile(std::string(QUILLBOX_SOURCE_DIR) + "/demo/getplugininfo.xml");
    test::MakeTaskDocument(task, served.path() / "task.p7");
    test::MakeTaskDocument(task, secureRoot.path() / "task.p7");
    const std::string login = server.Url("task.p7?auth=jana:secret&delay=800");
    const struct {
        std::string url;
        json answer;
        bool runs;
    } cases[] = {
        {login, Credentials("jana", "secret"), true},
        {login, {{"dialog", "credentials"}, {"answer", "cancel"}}, false},
        {secure.Url("task.p7"), {{"dialog", "certwarning"}, {"answer", "yes"}}, true},
        {secure.Url("task.p7"), {{"dialog", "certwarning"}, {"answer", "no"}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.dump());
        const ProgramRun run = Exec(c.url, json::array({c.answer}));
        const std::vector<json> questions = run.Dialogs(c.answer["dialog"].get<std::string>());
        ASSERT_EQ(questions.size(), 1u) << run;
        EXPECT_EQ(questions[0]["answer"], c.answer["answer"]);
        ExpectAskedWhileWaiting(run, questions[0]);
        const std::vector<json> boxes = run.Dialogs("messagebox");
        if (c.runs) {
            EXPECT_EQ(run.status, 0) << run;
            EXPECT_EQ(run.out, kPluginInfo) << run;
            EXPECT_TRUE(boxes.empty()) << run;
        } else {
            EXPECT_EQ(run.status, 2) << run;
            EXPECT_EQ(run.out, "") << run;
            ASSERT_EQ(boxes.size(), 1u) << run;
            EXPECT_EQ(boxes[0]["icon"], "error");
            EXPECT_THAT(boxes[0]["texts"][0].get<std::string>(),
                        StartsWith("Server communication error\n"));
        }
    }
}

TEST_P(SignTaskE2eTest, APreviewBehindALoginReachesTheDialogOnceCredentialsAreGiven) {
    test::WriteFile(served.path() / "preview.txt", formData);
    ServeSignTask("sign", server.Url("preview.txt?auth=jana:secret&amp;delay=800"));
    const ProgramRun run =
        Exec(server.Url("task.p7"),
             json::array({Chooses("Quillbox nonrep", kCancel), Credentials("jana", "secret")}));
    EXPECT_EQ(run.out, "<signresponse result=\"cancel\"/>\n") << run;
    const std::vector<json> logins = run.Dialogs("credentials");
    ASSERT_EQ(logins.size(), 1u) << run;
    EXPECT_EQ(logins[0]["answer"], "ok");
    ExpectAskedWhileWaiting(run, logins[0]);
    const std::vector<json> dialogs = run.Dialogs("certificates");
    ASSERT_EQ(dialogs.size(), 1u) << run;
    EXPECT_EQ(dialogs[0]["actions"][1]["text"], formData);
}

// The real windows, driven, must show what the scripted person was shown and give the
// same answers: the texts here are read back from the widgets.
using TranscriptAgreementTest = SignTaskE2eTest;
TEST_F(TranscriptAgreementTest, RealWindowsShowWhatTheScriptedPersonSaw) {
    test::WriteFile(served.path() / "preview.txt", formData);
    ServeSignTask("sign", server.Url("preview.txt?auth=jana:secret&amp;delay=300"));
    const json answers =
        json::array({{{"dialog", "certificates"},
                      {"actions", json::array({{{"showall", true}},
                                               {{"select", {{"name", "Quillbox nonrep"}}}},
                                               {{"preview", true}},
                                               {{"view", true}},
                                               {{"confirm", "doubleclick"}}})}},
                     Credentials("jana", "secret"),
                     Pin("9999"),
                     Pin(SoftHsmTokens::kPin)});
    const ProgramRun scripted = Exec(server.Url("task.p7?delay=300"), answers, "script");
    // Each run starts without a remembered certificate.
    std::filesystem::remove_all(scratch / "config");
    const ProgramRun real = Exec(server.Url("task.p7?delay=300"), answers, "qt");
    ASSERT_THAT(scripted.out, StartsWith("<signresponse result=\"ok\"><SignatureValue>"))
        << scripted;
    ASSERT_EQ(scripted.Dialogs("certificate").size(), 1u) << scripted;
    EXPECT_EQ(real.status, 0) << real;
    EXPECT_EQ(real.Agreed().dump(1), scripted.Agreed().dump(1));
    // The same key signed the same data.
    EXPECT_EQ(real.out, scripted.out);
}

INSTANTIATE_TEST_SUITE_P(Ui, SignTaskE2eTest, ::testing::Values("script", "qt"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace quillbox
