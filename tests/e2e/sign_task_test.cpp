// Sign and choosecert tasks end to end: the real "quillbox" program fetches a signed task
// document from a local HTTP server, a scripted person chooses a certificate on a SoftHSM
// token and types its PIN, and the answer is checked the way a server would check it.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "core/base64/base64_coder.h"
#include "platform/xml/xml_document.h"
#include "softhsm_token.h"
#include "task_server.h"
#include "test_support.h"

namespace quillbox {
namespace {

using ::testing::ElementsAre;
using json = nlohmann::json;
using test::SoftHsmTokens;

struct ProgramRun {
    std::string out;
    std::vector<json> transcript;

    std::vector<json> Dialogs(const std::string& kind) const {
        std::vector<json> found;
        for (const json& line : transcript) {
            if (line.value("dialog", "") == kind) {
                found.push_back(line);
            }
        }
        return found;
    }
};

class SignTaskE2eTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SoftHsmTokens::Get(); }

    // Serves the task as a signed task document and runs it by URL with the answers.
    ProgramRun Exec(const std::string& task, const json& answers) {
        test::MakeTaskDocument(task, served.path() / "task.p7");
        const std::filesystem::path transcript = scratch / "transcript.jsonl";
        std::filesystem::remove(transcript);
        test::WriteFile(scratch / "answers.json", answers.dump());
        const std::string command =
            std::string(QUILLBOX_BINARY_DIR) + "/src/control/quillbox exec --lang en --ui script:" +
            (scratch / "answers.json").string() + " --transcript " + transcript.string() + " '" +
            server.Url("task.p7") + "' 2>/dev/null";
        ProgramRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return run;
        }
        std::array<char, 4096> buffer;
        std::size_t got;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
            run.out.append(buffer.data(), got);
        }
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        if (std::filesystem::exists(transcript)) {
            std::istringstream lines(test::ReadFile(transcript));
            for (std::string line; std::getline(lines, line);) {
                run.transcript.push_back(json::parse(line));
            }
        }
        return run;
    }

    std::string Task(const std::string& name, const std::string& parameters) const {
        return "<Envelope><task><" + name + " doc-id=\"e2e\"/></task>" + parameters + "</Envelope>";
    }
    std::string SignParameters(const std::string& preview = "preview.txt") const {
        return "<data alg=\"rsa-sha256\">" + Base64Coder::EncodeBytes(formData) +
               "</data><preview url=\"" + server.Url(preview) + "\"/>";
    }

    static json Choose(const std::string& name) {
        return {{"dialog", "certificates"},
                {"actions", json::array({{{"select", {{"name", name}}}},
                                         {{"preview", true}},
                                         {{"confirm", "button"}}})}};
    }
    static json Pin(const std::string& answer) {
        return {{"dialog", "pin"}, {"answer", answer}, {"pin", SoftHsmTokens::kPin}};
    }
    static const test::TestCertificate& Certificate(const std::string& name) {
        return SoftHsmTokens::Get().Certificate(name);
    }

    bool OpensslVerifies(const std::string& signature) {
        test::WriteFile(scratch / "data", formData);
        test::WriteFile(scratch / "signature.bin", signature);
        return test::RunCommand("openssl dgst -sha256 -verify " +
                                SoftHsmTokens::Get().PublicKeyPem().string() + " -signature " +
                                (scratch / "signature.bin").string() + " " +
                                (scratch / "data").string() + " >/dev/null 2>&1") == 0;
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

TEST_F(SignTaskE2eTest, SignTaskAnswersWithAVerifiableSignatureAndTheCertificate) {
    test::WriteFile(served.path() / "preview.txt", formData);
    const ProgramRun run =
        Exec(Task("sign", SignParameters()), {Choose("Quillbox nonrep"), Pin("ok")});

    const auto response = xml::XmlDocument::Parse(run.out);
    ASSERT_TRUE(response) << run.out;
    const xml::XmlNode root = response->Root();
    EXPECT_EQ(root.LocalName(), "signresponse");
    EXPECT_EQ(root.Attribute("result"), "ok");
    const xml::XmlNode signature = root.FirstChild();
    const xml::XmlNode certificate = signature.NextSibling();
    ASSERT_EQ(signature.LocalName(), "SignatureValue");
    ASSERT_EQ(certificate.LocalName(), "X509Certificate");
    EXPECT_FALSE(certificate.NextSibling());
    EXPECT_TRUE(OpensslVerifies(Base64Coder::DecodeText(signature.Text())));
    EXPECT_EQ(certificate.Attribute("id"), Certificate("nonrep").id);
    const std::vector<std::uint8_t>& der = Certificate("nonrep").der;
    EXPECT_EQ(certificate.Text(), Base64Coder::EncodeBytes(std::string(der.begin(), der.end())));

    // The person saw the preview fetched from the page's server, then the PIN prompt.
    const std::vector<json> dialogs = run.Dialogs("certificates");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]["answer"], "ok");
    EXPECT_EQ(dialogs[0]["actions"][1]["text"], formData);
    EXPECT_EQ(run.Dialogs("pin").size(), 1u);
    EXPECT_TRUE(run.Dialogs("messagebox").empty());
}

TEST_F(SignTaskE2eTest, ChooseCertTaskAnswersWithTheChosenCertificateOnly) {
    const ProgramRun run = Exec(Task("choosecert", SignParameters("missing.txt")),
                                {Choose("Quillbox qc-both"), Pin("ok")});

    const auto response = xml::XmlDocument::Parse(run.out);
    ASSERT_TRUE(response) << run.out;
    const xml::XmlNode root = response->Root();
    EXPECT_EQ(root.LocalName(), "certificate");
    EXPECT_EQ(root.Attribute("result"), "ok");
    const xml::XmlNode certificate = root.FirstChild();
    ASSERT_EQ(certificate.LocalName(), "X509Certificate");
    EXPECT_FALSE(certificate.NextSibling());
    EXPECT_EQ(certificate.Attribute("id"), Certificate("qc-both").id);
    // Choosing signs nothing, so the token never asked for its PIN.
    EXPECT_TRUE(run.Dialogs("pin").empty());
    // The server's error page for a missing preview is not shown as the data.
    const std::vector<json> dialogs = run.Dialogs("certificates");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(dialogs[0]["actions"][1]["text"].is_null());
}

TEST_F(SignTaskE2eTest, CancelAtTheDialogOrThePinAnswersCancelWithNoChildren) {
    const json cancelDialog = {{"dialog", "certificates"},
                               {"actions", json::array({{{"cancel", true}}})}};
    const json cases[] = {
        json::array({cancelDialog}),
        json::array({Choose("Quillbox nonrep"), Pin("cancel")}),
    };
    for (const json& answers : cases) {
        SCOPED_TRACE(answers.dump());
        const ProgramRun run = Exec(Task("sign", SignParameters()), answers);
        EXPECT_EQ(run.out, "<signresponse result=\"cancel\"/>\n");
        EXPECT_EQ(run.Dialogs("certificates").size(), 1u);
        EXPECT_TRUE(run.Dialogs("messagebox").empty());
    }
}

}  // namespace
}  // namespace quillbox
