// Sign and choosecert tasks end to end: the real "quillbox" program fetches a signed task
// document from a local HTTP server, a scripted person chooses a certificate on a SoftHSM
// token and types its PIN, and the answer is checked the way a server would check it.
#include <algorithm>
#include <iterator>
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

using json = nlohmann::json;
using test::SoftHsmTokens;

// The program's output and the transcript's dialogs of one kind.
struct ProgramRun {
    std::string out;
    std::vector<json> transcript;

    std::vector<json> Dialogs(const std::string& kind) const {
        std::vector<json> found;
        std::copy_if(transcript.begin(), transcript.end(), std::back_inserter(found),
                     [&](const json& line) { return line.value("dialog", "") == kind; });
        return found;
    }
};

class SignTaskE2eTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SoftHsmTokens::Get(); }

    // Serves the task as a signed task document and runs it by URL with the person who
    // chooses `certificate`, looks at the preview and types the PIN (or cancels).
    ProgramRun Exec(const std::string& task, const std::string& preview,
                    const std::string& certificate, bool confirm = true) {
        test::MakeTaskDocument("<Envelope><task><" + task + " doc-id=\"e2e\"/></task><data " +
                                   "alg=\"rsa-sha256\">" + Base64Coder::EncodeBytes(formData) +
                                   "</data><preview url=\"" + server.Url(preview) +
                                   "\"/></Envelope>",
                               served.path() / "task.p7");
        const json answers = {{{"dialog", "certificates"},
                               {"actions", json::array({{{"select", {{"name", certificate}}}},
                                                        {{"preview", true}},
                                                        confirm ? json{{"confirm", "button"}}
                                                                : json{{"cancel", true}}})}},
                              {{"dialog", "pin"}, {"answer", "ok"}, {"pin", SoftHsmTokens::kPin}}};
        test::WriteFile(scratch / "answers.json", answers.dump());
        const auto [status, out] = test::RunCapturingOutput(
            std::string(QUILLBOX_BINARY_DIR) + "/src/control/quillbox exec --lang en --ui script:" +
            (scratch / "answers.json").string() + " --transcript " + transcript.string() + " '" +
            server.Url("task.p7") + "' 2>/dev/null");
        EXPECT_EQ(status, 0);
        ProgramRun run{out, {}};
        std::istringstream lines(test::ReadFile(transcript));
        for (std::string line; std::getline(lines, line);) {
            run.transcript.push_back(json::parse(line));
        }
        return run;
    }

    const std::string formData = "applicant=Jana Nov\xC3\xA1kov\xC3\xA1\namount=1200 CZK\n";
    test::TempDir served;
    test::TempDir scratch;
    const std::filesystem::path transcript = scratch / "transcript.jsonl";
    test::ScopedEnv tmp{"TMP", scratch.path().string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    test::ScopedEnv script{"QUILLBOX_UI_SCRIPT", std::nullopt};
    test::ScopedEnv tokens{"SOFTHSM2_CONF", SoftHsmTokens::Get().ConfigFile().string()};
    test::ScopedEnv module{"QUILLBOX_PKCS11_MODULE", std::string(SoftHsmTokens::kModulePath)};
    test::TaskServer server{served.path()};
};

// The answer's details are the signing task tests' part; here the whole program's
// signature must verify as a server would check it.
TEST_F(SignTaskE2eTest, SignTaskAnswersWithASignatureOpensslVerifies) {
    test::WriteFile(served.path() / "preview.txt", formData);
    const ProgramRun run = Exec("sign", "preview.txt", "Quillbox nonrep");

    const auto response = xml::XmlDocument::Parse(run.out);
    ASSERT_TRUE(response) << run.out;
    const xml::XmlNode signature = response->Root().FirstChild();
    ASSERT_EQ(signature.LocalName(), "SignatureValue") << run.out;
    test::WriteFile(scratch / "data", formData);
    test::WriteFile(scratch / "signature.bin", Base64Coder::DecodeText(signature.Text()));
    EXPECT_EQ(test::RunCommand("openssl dgst -sha256 -verify " +
                               SoftHsmTokens::Get().PublicKeyPem().string() + " -signature " +
                               (scratch / "signature.bin").string() + " " +
                               (scratch / "data").string() + " >/dev/null 2>&1"),
              0);
    EXPECT_EQ(signature.NextSibling().Attribute("id"),
              SoftHsmTokens::Get().Certificate("nonrep").id);

    // The person saw the preview fetched from the page's server, then the PIN prompt.
    const std::vector<json> dialogs = run.Dialogs("certificates");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]["actions"][1]["text"], formData);
    EXPECT_EQ(run.Dialogs("pin").size(), 1u);
    EXPECT_TRUE(run.Dialogs("messagebox").empty());
}

TEST_F(SignTaskE2eTest, ServerErrorPageForAMissingPreviewIsNotShownAsTheData) {
    const ProgramRun run = Exec("choosecert", "missing.txt", "Quillbox qc-both");
    EXPECT_THAT(run.out, ::testing::StartsWith("<certificate result=\"ok\">"));
    const std::vector<json> dialogs = run.Dialogs("certificates");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(dialogs[0]["actions"][1]["text"].is_null());
}

TEST_F(SignTaskE2eTest, CancelAtTheDialogAnswersCancelWithNoChildrenAndNoPin) {
    test::WriteFile(served.path() / "preview.txt", formData);
    const ProgramRun run = Exec("sign", "preview.txt", "Quillbox nonrep", false);
    EXPECT_EQ(run.out, "<signresponse result=\"cancel\"/>\n");
    EXPECT_TRUE(run.Dialogs("pin").empty());
}

}  // namespace
}  // namespace quillbox
