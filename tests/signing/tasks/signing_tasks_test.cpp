// The choosecert and sign tasks through the pipeline, on SoftHSM tokens, with a person
// played by a small user interface that confirms a named certificate or cancels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/base64/base64_coder.h"
#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/registry.h"
#include "core/task_processor.h"
#include "log_file.h"
#include "platform/pkcs11/cryptoki_token_store.h"
#include "platform/settings/settings_store.h"
#include "signing/engine/algorithms.h"
#include "signing/engine/certificate_store.h"
#include "signing/tasks/signing_context.h"
#include "signing/tasks/signing_task_handlers.h"
#include "softhsm_token.h"
#include "test_support.h"

namespace quillbox::signing {
namespace {

using test::SoftHsmTokens;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A person at the certificate dialog and the PIN prompt.
class PersonUi final : public ui::UserInterface {
  public:
    PersonUi() { ui::SetUserInterface(this); }
    ~PersonUi() override { ui::SetUserInterface(nullptr); }

    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        boxes.push_back(box.text);
        return box.defaultAnswer;
    }
    ui::PinDialogAnswer AskPin(const ui::PinDialogRequest&) override {
        ++pinPrompts;
        return pin ? ui::PinDialogAnswer{true, secret::SecretText(*pin)} : ui::PinDialogAnswer{};
    }
    // Confirms the row whose display name is `choose`; cancels when it is empty or absent.
    void RunCertificateChooser(ui::CertificateChooser& chooser) override {
        chooser.Open();
        std::vector<std::string> names;
        std::optional<std::size_t> wanted;
        for (std::size_t i = 0; i < chooser.Rows().size(); ++i) {
            names.push_back(chooser.Rows()[i].displayName);
            if (!choose.empty() && names.back() == choose) {
                wanted = i;
            }
        }
        listed.push_back(names);
        if (!wanted) {
            chooser.Cancel();
            return;
        }
        chooser.Select(wanted);
        chooser.Confirm();
    }

    std::string choose;
    std::optional<std::string> pin = std::string(SoftHsmTokens::kPin);
    std::vector<std::vector<std::string>> listed;  // the rows of each dialog shown
    std::vector<std::string> boxes;
    int pinPrompts = 0;
};

class SigningTasksTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SoftHsmTokens::Get(); }

    void SetUp() override {
        SetLanguage("en");
        settings::SetSettingsStore(&settingsFiles);
        test::WriteFile(temp / std::string(kLogFileName), "");
        globals = std::make_unique<CGlobals>(temp.path().string());
        CGlobals::SetInstanceForTesting(globals.get());
        Remember("previous");
    }
    void TearDown() override {
        CGlobals::SetInstanceForTesting(nullptr);
        settings::SetSettingsStore(nullptr);
        ResetLanguageForTesting();
    }

    static CertificateStoreFactory OpenTestStore() {
        return [] {
            pkcs11::TokenStoreOptions options;
            options.modulePath = SoftHsmTokens::kModulePath;
            return std::make_unique<CertificateStore>(pkcs11::CryptokiOpener(options));
        };
    }
    static TaskServices Services() {
        TaskServices services;
        AddSigningTaskHandlers(services.handlers, OpenTestStore(), {});
        return services;
    }

    // Runs a task text; the response ("untouched" when none was built).
    std::string RunRaw(const std::string& task) {
        std::string response = "untouched";
        ExecuteOptions options;
        options.documentGiven = true;
        processor.ExecuteTask(task, response, options);
        return response;
    }
    // Checks an "ok" sign response by the named certificate; its Base64 signature.
    static std::string Signature(const std::string& response, const std::string& name) {
        const std::string open = "<signresponse result=\"ok\"><SignatureValue>";
        const std::size_t end = response.find("</SignatureValue>");
        if (!response.starts_with(open) || end == std::string::npos) {
            ADD_FAILURE() << response;
            return {};
        }
        EXPECT_EQ(response.substr(end), "</SignatureValue><X509Certificate id=\"" + Id(name) +
                                            "\">" + Der64(name) +
                                            "</X509Certificate></signresponse>");
        return response.substr(open.size(), end - open.size());
    }

    static std::string SignTask(const std::string& dataAttributes, const std::string& data,
                                const std::string& certificate = {}) {
        return "<Envelope><task><sign/></task><data " + dataAttributes + ">" + data + "</data>" +
               certificate + "</Envelope>";
    }
    static std::string Id(const std::string& name) {
        return SoftHsmTokens::Get().Certificate(name).id;
    }
    static std::string Der64(const std::string& name) {
        const std::vector<std::uint8_t>& der = SoftHsmTokens::Get().Certificate(name).der;
        return Base64Coder::EncodeBytes(std::string(der.begin(), der.end()));
    }

    static void Remember(const std::string& id) {
        ASSERT_TRUE(WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {},
                                       settings::Value(id), "LastSignCert"));
    }
    static std::string Remembered() {
        std::string id;
        ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, &id, nullptr,
                          "LastSignCert");
        return id;
    }

    // `openssl dgst -sha256 -verify` of a Base64 signature over data.
    bool Verifies(const std::string& data, const std::string& signature64) {
        test::WriteFile(temp / "data", data);
        test::WriteFile(temp / "signature", Base64Coder::DecodeText(signature64));
        return test::RunCommand("openssl dgst -sha256 -verify " +
                                SoftHsmTokens::Get().PublicKeyPem().string() + " -signature " +
                                (temp / "signature").string() + " " + (temp / "data").string() +
                                " >/dev/null 2>&1") == 0;
    }

    test::TempDir temp;
    test::ScopedEnv config{"XDG_CONFIG_HOME", (temp.path() / "config").string()};
    settings::IniSettingsStore settingsFiles;
    std::unique_ptr<CGlobals> globals;
    PersonUi person;
    TaskProcessor processor{Services()};

    const std::string message = "name=Jana&amount=100\n";
    const std::string message64 = Base64Coder::EncodeBytes(message);
};

TEST_F(SigningTasksTest, DataElementFollowsTheAlgorithmTablesExactly) {
    struct Case {
        const char* attributes;  // of "<data ...>AQID</data>"
        std::uint32_t algorithmId;
        std::string algorithmName;
        std::uint32_t hashId = 0;
        std::string hashName = "";
    };
    const Case cases[] = {
        {"", kAlgSha1, "SHA1"},
        {"alg='rsa'", kAlgRawRsa, "RSA_SIGN"},
        {"alg='rsa-none'", kAlgRawRsa, "RSA_SIGN"},
        {"alg='rsa-sha1'", kAlgSha1, "SHA1"},
        {"alg='rsa-sha256'", kAlgSha256, "SHA256"},
        {"alg='rsa-sha384'", kAlgSha384, "SHA384"},
        {"alg='rsa-sha512'", kAlgSha512, "SHA512"},
        {"alg='rsa-md5'", kAlgMd5, "MD5"},
        {"alg='rsa' hshalg='sha1'", kAlgRawRsa, "RSA_SIGN", kAlgSha1, "SHA1"},
        {"alg='rsa' hshalg='sha256'", kAlgRawRsa, "RSA_SIGN", kAlgSha256, "SHA256"},
        {"alg='rsa' hshalg='sha384'", kAlgRawRsa, "RSA_SIGN", kAlgSha384, "SHA384"},
        {"alg='rsa' hshalg='sha512'", kAlgRawRsa, "RSA_SIGN", kAlgSha512, "SHA512"},
        {"alg='rsa' hshalg='md5'", kAlgRawRsa, "RSA_SIGN", kAlgMd5, "MD5"},
        {"alg='rsa-sha256' hshalg=''", kAlgSha256, "SHA256"},
    };
    Base64Coder coder;
    std::vector<std::unique_ptr<xml::XmlDocument>> documents;  // outlive their contexts
    const auto context = [&](const std::string& data) {
        documents.push_back(
            xml::XmlDocument::Parse("<Envelope><task><sign/></task>" + data + "</Envelope>"));
        return SigningContext(TaskKind::Sign, *documents.back(), OpenTestStore()(), coder);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        const SigningContext read = context(std::string("<data ") + c.attributes + ">AQID</data>");
        EXPECT_TRUE(read.HasData());
        EXPECT_EQ(read.algorithmId(), c.algorithmId);
        EXPECT_EQ(read.algorithmName(), c.algorithmName);
        EXPECT_EQ(read.hashId(), c.hashId);
        EXPECT_EQ(read.hashName(), c.hashName);
        EXPECT_THAT(read.data(), ElementsAre(1, 2, 3));
    }
}

// The raw spellings of the same signature are the table above and the engine's part.
// The raw spellings of the same signature are the table above and the engine's part.
TEST_F(SigningTasksTest, NamedCertificateSignsWithoutDialogOrBeingRemembered) {
    const std::string certificate = "<certificate id='" + Id("nonrep") + "' filter='x'/>";
    EXPECT_TRUE(Verifies(
        message,
        Signature(RunRaw(SignTask("alg='rsa-sha256'", message64, certificate)), "nonrep")));
    EXPECT_THAT(person.listed, IsEmpty());
    EXPECT_EQ(Remembered(), "previous");
}

// Algorithm names are case-sensitive; no or empty data is nothing to sign.
TEST_F(SigningTasksTest, DataThatCannotBeReadIsNeverSignedAndAnswersError) {
    const std::string named = "<certificate id='" + Id("nonrep") + "'/>";
    const std::string tasks[] = {
        SignTask("alg='rsa-SHA256'", message64, named),
        SignTask("alg=''", message64, named),
        SignTask("alg='rsa-sha256' hshalg='sha-256'", message64),
        SignTask("alg='rsa' hshalg='SHA256'", message64, named),
        SignTask("alg='rsa-sha256'", "", named),
        "<Envelope><task><sign/></task>" + named + "</Envelope>",
    };
    person.choose = "Quillbox nonrep";
    for (const std::string& task : tasks) {
        SCOPED_TRACE(task);
        // A successful task first, so an error cannot be a leftover result.
        EXPECT_THAT(RunRaw("<getplugininfo/>"), HasSubstr("result=\"ok\""));
        EXPECT_EQ(RunRaw(task), "<signresponse result=\"error\"/>");
    }
    EXPECT_THAT(person.listed, IsEmpty());
    EXPECT_EQ(person.pinPrompts, 0);
    EXPECT_EQ(Remembered(), "previous");
}

TEST_F(SigningTasksTest, EmptyIdOpensTheFilteredDialogAndTheNextTaskStartsUnfiltered) {
    person.choose = "Quillbox nonrep";
    const std::string response = RunRaw(
        SignTask("alg='rsa-sha256'", message64,
                 "<certificate id='' filter='StrCmp(SubjectStr(2.5.4.3),{Quillbox nonrep})'/>"));
    ASSERT_EQ(person.listed.size(), 1u);
    EXPECT_THAT(person.listed[0], ElementsAre("Quillbox nonrep"));
    EXPECT_TRUE(Verifies(message, Signature(response, "nonrep")));
    EXPECT_EQ(Remembered(), Id("nonrep"));

    // A choosecert task ignores an id and data, lists without the earlier filter and
    // answers with the chosen certificate only.
    person.choose = "Quillbox qc-both";
    const int pinPromptsBefore = person.pinPrompts;
    const std::string chosen =
        RunRaw("<Envelope><task><choosecert/></task><certificate id='" + Id("nonrep") +
               "'/><data alg='rsa-sha256'>" + message64 + "</data></Envelope>");
    ASSERT_EQ(person.listed.size(), 2u);
    EXPECT_THAT(person.listed[1], Contains("Quillbox nonrep"));
    EXPECT_THAT(person.listed[1], Contains("Quillbox qc-both"));
    EXPECT_EQ(chosen, "<certificate result=\"ok\"><X509Certificate id=\"" + Id("qc-both") + "\">" +
                          Der64("qc-both") + "</X509Certificate></certificate>");
    EXPECT_EQ(person.pinPrompts, pinPromptsBefore);
    EXPECT_EQ(Remembered(), Id("qc-both"));
}

TEST_F(SigningTasksTest, CancelOrFailureAfterTheDialogAnswersNothingElse) {
    const std::string task = SignTask("alg='rsa-sha256'", message64);

    EXPECT_EQ(RunRaw(task), "<signresponse result=\"cancel\"/>");
    EXPECT_EQ(person.pinPrompts, 0);
    EXPECT_EQ(Remembered(), "previous");

    // The certificate was confirmed, so it is remembered although no signature followed.
    person.choose = "Quillbox nonrep";
    person.pin.reset();
    EXPECT_EQ(RunRaw(task), "<signresponse result=\"cancel\"/>");
    EXPECT_GE(person.pinPrompts, 1);
    EXPECT_THAT(person.boxes, IsEmpty());
    EXPECT_EQ(Remembered(), Id("nonrep"));

    // A "digest" of the wrong size for SHA-256: the engine refuses it, the person is told.
    person.choose = "Quillbox qc-both";
    person.pin = std::string(SoftHsmTokens::kPin);
    EXPECT_EQ(RunRaw(SignTask("alg='rsa' hshalg='sha256'", message64)), "untouched");
    EXPECT_EQ(processor.outcome().result, TaskResult::Error);
    EXPECT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(Remembered(), Id("qc-both"));
}

}  // namespace
}  // namespace quillbox::signing
