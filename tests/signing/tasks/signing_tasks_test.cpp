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
    PersonUi(const PersonUi&) = delete;
    PersonUi& operator=(const PersonUi&) = delete;

    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        boxes.push_back(box.text);
        return box.defaultAnswer;
    }
    ui::PinDialogAnswer AskPin(const ui::PinDialogRequest&) override {
        ++pinPrompts;
        return pin ? ui::PinDialogAnswer{true, *pin} : ui::PinDialogAnswer{};
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

struct Response {
    std::string root;
    std::optional<std::string> result;
    std::vector<std::string> children;
    std::string signature;
    std::optional<std::string> certificateId;
    std::string certificate;
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
            return std::make_unique<CertificateStore>(options);
        };
    }
    static TaskServices Services() {
        TaskServices services;
        AddSigningTaskHandlers(services.handlers, OpenTestStore(), {});
        return services;
    }

    // Runs a task text; the raw response ("untouched" when none was built).
    std::string RunRaw(const std::string& task) {
        std::string response = "untouched";
        ExecuteOptions options;
        options.documentGiven = true;
        processor.ExecuteTask(task, response, options);
        return response;
    }
    Response Run(const std::string& task) {
        const std::string text = RunRaw(task);
        Response response;
        const std::unique_ptr<xml::XmlDocument> document = xml::XmlDocument::Parse(text);
        if (!document) {
            ADD_FAILURE() << "no response document: " << text;
            return response;
        }
        const xml::XmlNode root = document->Root();
        response.root = root.LocalName();
        response.result = root.Attribute("result");
        for (xml::XmlNode child = root.FirstChild(); child; child = child.NextSibling()) {
            if (!child.IsElement()) {
                continue;
            }
            response.children.push_back(child.LocalName());
            if (child.LocalName() == "SignatureValue") {
                response.signature = child.Text();
            } else if (child.LocalName() == "X509Certificate") {
                response.certificateId = child.Attribute("id");
                response.certificate = child.Text();
            }
        }
        return response;
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
        std::string data;  // the "//data" element, or none
        bool read;
        std::uint32_t algorithmId = kAlgSha1;
        std::string algorithmName = "SHA1";
        std::uint32_t hashId = 0;
        std::string hashName = "";
    };
    const Case cases[] = {
        {"<data>AQID</data>", true},
        {"<data alg='rsa'>AQID</data>", true, kAlgRawRsa, "RSA_SIGN"},
        {"<data alg='rsa-none'>AQID</data>", true, kAlgRawRsa, "RSA_SIGN"},
        {"<data alg='rsa-sha1'>AQID</data>", true, kAlgSha1, "SHA1"},
        {"<data alg='rsa-sha256'>AQID</data>", true, kAlgSha256, "SHA256"},
        {"<data alg='rsa-sha384'>AQID</data>", true, kAlgSha384, "SHA384"},
        {"<data alg='rsa-sha512'>AQID</data>", true, kAlgSha512, "SHA512"},
        {"<data alg='rsa-md5'>AQID</data>", true, kAlgMd5, "MD5"},
        {"<data alg='rsa' hshalg='sha1'>AQID</data>", true, kAlgRawRsa, "RSA_SIGN", kAlgSha1,
         "SHA1"},
        {"<data alg='rsa' hshalg='sha256'>AQID</data>", true, kAlgRawRsa, "RSA_SIGN", kAlgSha256,
         "SHA256"},
        {"<data alg='rsa' hshalg='sha384'>AQID</data>", true, kAlgRawRsa, "RSA_SIGN", kAlgSha384,
         "SHA384"},
        {"<data alg='rsa' hshalg='sha512'>AQID</data>", true, kAlgRawRsa, "RSA_SIGN", kAlgSha512,
         "SHA512"},
        {"<data alg='rsa' hshalg='md5'>AQID</data>", true, kAlgRawRsa, "RSA_SIGN", kAlgMd5, "MD5"},
        {"<data alg='rsa-sha256' hshalg=''>AQID</data>", true, kAlgSha256, "SHA256"},
        {"<data alg='RSA-SHA256'>AQID</data>", false},
        {"<data alg=''>AQID</data>", false},
        {"<data alg='rsa' hshalg='SHA256'>AQID</data>", false},
        {"<data alg='rsa-sha256'></data>", false},
        {"<nodata/>", false},
    };
    Base64Coder coder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        const auto document =
            xml::XmlDocument::Parse("<Envelope><task><sign/></task>" + c.data + "</Envelope>");
        ASSERT_TRUE(document);
        const SigningContext context(TaskKind::Sign, *document, OpenTestStore()(), coder);
        EXPECT_EQ(context.HasData(), c.read);
        if (!c.read) {
            EXPECT_THAT(context.data(), IsEmpty());
            continue;
        }
        EXPECT_EQ(context.algorithmId(), c.algorithmId);
        EXPECT_EQ(context.algorithmName(), c.algorithmName);
        EXPECT_EQ(context.hashId(), c.hashId);
        EXPECT_EQ(context.hashName(), c.hashName);
        EXPECT_THAT(context.data(), ElementsAre(1, 2, 3));
    }
    const std::string log = test::ReadLogFile(temp / std::string(kLogFileName));
    EXPECT_THAT(log, HasSubstr("ALG: RSA-SHA256\n"));
    EXPECT_THAT(log, HasSubstr("HASH ALG: \n"));
}

TEST_F(SigningTasksTest, NamedCertificateSignsWithoutDialogInEverySpellingOfTheDigest) {
    const std::string digest64 = Base64Coder::EncodeBytes([&] {
        test::WriteFile(temp / "message", message);
        test::RunCommand("openssl dgst -sha256 -binary -out " + (temp / "digest").string() + " " +
                         (temp / "message").string());
        return test::ReadFile(temp / "digest");
    }());
    const std::string certificate = "<certificate id='" + Id("nonrep") + "' filter='x'/>";

    const Response hashed = Run(SignTask("alg='rsa-sha256'", message64, certificate));
    EXPECT_EQ(hashed.root, "signresponse");
    EXPECT_EQ(hashed.result, "ok");
    EXPECT_THAT(hashed.children, ElementsAre("SignatureValue", "X509Certificate"));
    EXPECT_EQ(hashed.certificateId, Id("nonrep"));
    EXPECT_EQ(hashed.certificate, Der64("nonrep"));
    EXPECT_TRUE(Verifies(message, hashed.signature));

    // The same key signs the digest the page computed itself, byte for byte the same.
    for (const char* alg : {"rsa", "rsa-none"}) {
        SCOPED_TRACE(alg);
        const Response raw =
            Run(SignTask(std::string("alg='") + alg + "' hshalg='sha256'", digest64, certificate));
        EXPECT_EQ(raw.result, "ok");
        EXPECT_EQ(raw.signature, hashed.signature);
    }
    EXPECT_THAT(person.listed, IsEmpty());
    EXPECT_EQ(Remembered(), "previous");
}

TEST_F(SigningTasksTest, DataThatCannotBeReadIsNeverSignedAndAnswersError) {
    const std::string named = "<certificate id='" + Id("nonrep") + "'/>";
    const std::string tasks[] = {
        SignTask("alg='rsa-SHA256'", message64, named),
        SignTask("alg='rsa-sha256' hshalg='sha-256'", message64),
        SignTask("alg='rsa-sha256'", "", named),
        "<Envelope><task><sign/></task>" + named + "</Envelope>",
    };
    person.choose = "Quillbox nonrep";
    for (const std::string& task : tasks) {
        SCOPED_TRACE(task);
        // A successful task first, so an error cannot be a leftover result.
        EXPECT_THAT(RunRaw("<getplugininfo/>"), HasSubstr("result=\"ok\""));
        const Response response = Run(task);
        EXPECT_EQ(response.root, "signresponse");
        EXPECT_EQ(response.result, "error");
        EXPECT_THAT(response.children, IsEmpty());
    }
    EXPECT_THAT(person.listed, IsEmpty());
    EXPECT_EQ(person.pinPrompts, 0);
    EXPECT_EQ(Remembered(), "previous");
}

TEST_F(SigningTasksTest, EmptyIdOpensTheFilteredDialogAndTheNextTaskStartsUnfiltered) {
    person.choose = "Quillbox nonrep";
    const Response signed_ = Run(
        SignTask("alg='rsa-sha256'", message64,
                 "<certificate id='' filter='StrCmp(SubjectStr(2.5.4.3),{Quillbox nonrep})'/>"));
    ASSERT_EQ(person.listed.size(), 1u);
    EXPECT_THAT(person.listed[0], ElementsAre("Quillbox nonrep"));
    EXPECT_EQ(signed_.result, "ok");
    EXPECT_EQ(signed_.certificateId, Id("nonrep"));
    EXPECT_TRUE(Verifies(message, signed_.signature));
    EXPECT_EQ(Remembered(), Id("nonrep"));

    // A choosecert task ignores an id and data, lists without the earlier filter and
    // answers with the chosen certificate only.
    person.choose = "Quillbox qc-both";
    const int pinPromptsBefore = person.pinPrompts;
    const Response chosen =
        Run("<Envelope><task><choosecert/></task><certificate id='" + Id("nonrep") +
            "'/><data alg='rsa-sha256'>" + message64 + "</data></Envelope>");
    ASSERT_EQ(person.listed.size(), 2u);
    EXPECT_THAT(person.listed[1], Contains("Quillbox nonrep"));
    EXPECT_THAT(person.listed[1], Contains("Quillbox qc-both"));
    EXPECT_EQ(chosen.root, "certificate");
    EXPECT_EQ(chosen.result, "ok");
    EXPECT_THAT(chosen.children, ElementsAre("X509Certificate"));
    EXPECT_EQ(chosen.certificateId, Id("qc-both"));
    EXPECT_EQ(chosen.certificate, Der64("qc-both"));
    EXPECT_EQ(person.pinPrompts, pinPromptsBefore);
    EXPECT_EQ(Remembered(), Id("qc-both"));
}

TEST_F(SigningTasksTest, CancellingTheDialogOrThePinAnswersCancelWithNothingElse) {
    const std::string task = SignTask("alg='rsa-sha256'", message64);

    const Response dialogCancelled = Run(task);
    EXPECT_EQ(dialogCancelled.root, "signresponse");
    EXPECT_EQ(dialogCancelled.result, "cancel");
    EXPECT_THAT(dialogCancelled.children, IsEmpty());
    EXPECT_EQ(person.pinPrompts, 0);
    EXPECT_EQ(Remembered(), "previous");

    // The certificate was confirmed, so it is remembered although no signature followed.
    person.choose = "Quillbox nonrep";
    person.pin.reset();
    const Response pinCancelled = Run(task);
    EXPECT_EQ(pinCancelled.result, "cancel");
    EXPECT_THAT(pinCancelled.children, IsEmpty());
    EXPECT_GE(person.pinPrompts, 1);
    EXPECT_THAT(person.boxes, IsEmpty());
    EXPECT_EQ(Remembered(), Id("nonrep"));
}

TEST_F(SigningTasksTest, EngineFailureAfterTheDialogIsReportedAndTheChoiceKept) {
    // A "digest" of the wrong size for SHA-256: the engine refuses it.
    person.choose = "Quillbox qc-both";
    EXPECT_EQ(RunRaw(SignTask("alg='rsa' hshalg='sha256'", message64)), "untouched");
    EXPECT_EQ(processor.outcome().result, TaskResult::Error);
    EXPECT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(Remembered(), Id("qc-both"));
}

}  // namespace
}  // namespace quillbox::signing
