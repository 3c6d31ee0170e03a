#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/identity.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/sign_exception.h"
#include "platform/pkcs11/cryptoki_token_store.h"
#include "platform/ui/user_interface.h"
#include "signing/engine/algorithms.h"
#include "signing/engine/certificate_store.h"
#include "signing/engine/certificate_view.h"
#include "signing/engine/digest_info.h"
#include "signing/engine/ui_pin_prompt.h"
#include "softhsm_token.h"
#include "test_certificates.h"
#include "test_support.h"

namespace quillbox::signing {
namespace {

using pkcs11::Mechanism;
using test::SoftHsmTokens;

// Answers PIN dialogs from a list (an exhausted list cancels); keeps every PIN dialog and
// certificate view it was shown.
class EngineTestUi final : public ui::UserInterface {
  public:
    EngineTestUi() { ui::SetUserInterface(this); }
    ~EngineTestUi() override { ui::SetUserInterface(nullptr); }
    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        return box.defaultAnswer;
    }
    ui::PinDialogAnswer AskPin(const ui::PinDialogRequest& request) override {
        pinDialogs.push_back(request);
        if (pins.empty()) {
            return {};
        }
        ui::PinDialogAnswer answer{true, secret::SecretText(pins.front())};
        pins.pop_front();
        return answer;
    }
    void ShowCertificate(const ui::CertificateViewRequest& request) override {
        views.push_back(request);
    }

    std::deque<std::string> pins;
    std::vector<ui::PinDialogRequest> pinDialogs;
    std::vector<ui::CertificateViewRequest> views;
};

struct Algorithm {
    const char* alg;  // the task's "alg" / "hshalg" value
    std::uint32_t id;
    const char* name;
    HashKind hash;
    const char* opensslName;  // for `openssl dgst -<name>`
};

constexpr Algorithm kAlgorithms[] = {
    {"rsa-sha1", kAlgSha1, "SHA1", HashKind::Sha1, "sha1"},
    {"rsa-sha256", kAlgSha256, "SHA256", HashKind::Sha256, "sha256"},
    {"rsa-sha384", kAlgSha384, "SHA384", HashKind::Sha384, "sha384"},
    {"rsa-sha512", kAlgSha512, "SHA512", HashKind::Sha512, "sha512"},
    {"rsa-md5", kAlgMd5, "MD5", HashKind::Md5, "md5"},
};

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class SignatureEngineTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SoftHsmTokens::Get(); }

    void SetUp() override {
        SetLanguage("en");
        ui.pins = {SoftHsmTokens::kPin};
    }
    void TearDown() override { ResetLanguageForTesting(); }

    static pkcs11::TokenStoreOptions Legacy() {
        pkcs11::TokenStoreOptions options;
        options.modulePath = SoftHsmTokens::kModulePath;
        options.mechanismLimits[SoftHsmTokens::kKeyStorageToken] = {Mechanism::RsaPkcs};
        return options;
    }
    // The main token restricted to prepared blocks as well: the same keys, the other path.
    static pkcs11::TokenStoreOptions KeyStorage() {
        pkcs11::TokenStoreOptions options = Legacy();
        options.mechanismLimits[SoftHsmTokens::kMainToken] = {Mechanism::RsaPkcs};
        return options;
    }

    static std::string Id(std::string_view name) {
        return SoftHsmTokens::Get().Certificate(name).id;
    }

    // `openssl dgst -<hash> -verify` over data with the certificate key's public half.
    bool OpensslVerifies(const char* hash, const std::vector<std::uint8_t>& data,
                         const std::vector<std::uint8_t>& signature) {
        const auto dataFile = temp / "data";
        const auto signatureFile = temp / "signature";
        test::WriteFile(dataFile, std::string(data.begin(), data.end()));
        test::WriteFile(signatureFile, std::string(signature.begin(), signature.end()));
        return test::RunCommand(std::string("openssl dgst -") + hash + " -verify " +
                                SoftHsmTokens::Get().PublicKeyPem().string() + " -signature " +
                                signatureFile.string() + " " + dataFile.string() +
                                " >/dev/null 2>&1") == 0;
    }

    // The block inside a signature, as the public key recovers it.
    std::vector<std::uint8_t> Recovered(const std::vector<std::uint8_t>& signature) {
        const auto signatureFile = temp / "signature";
        const auto out = temp / "recovered";
        test::WriteFile(signatureFile, std::string(signature.begin(), signature.end()));
        if (test::RunCommand("openssl pkeyutl -verifyrecover -pubin -inkey " +
                             SoftHsmTokens::Get().PublicKeyPem().string() + " -in " +
                             signatureFile.string() + " -out " + out.string() +
                             " >/dev/null 2>&1") != 0) {
            return {};
        }
        return Bytes(test::ReadFile(out));
    }

    static std::int32_t CodeOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const CSignException& error) {
            return error.Code();
        }
        return 0;
    }

    test::TempDir temp;
    EngineTestUi ui;
    const std::vector<std::uint8_t> message = Bytes("<data>Quillbox signs this form.</data>\n");
};

// Hashed and raw (a digest given) signing, on the token and on the host, give the same bytes.
TEST_F(SignatureEngineTest, EveryAlgorithmVerifiesOnBothPathsHashedOrRaw) {
    CertificateStore legacy(pkcs11::CryptokiOpener(Legacy()));
    CertificateStore keyStorage(pkcs11::CryptokiOpener(KeyStorage()));
    for (const Algorithm& a : kAlgorithms) {
        SCOPED_TRACE(a.alg);
        const auto digest = *HashData(a.hash, message);
        const auto viaToken = legacy.SignData(a.id, 0, a.name, "", Id("nonrep"), message);
        EXPECT_EQ(viaToken.size(), 256u);
        EXPECT_TRUE(OpensslVerifies(a.opensslName, message, viaToken));
        EXPECT_EQ(keyStorage.SignData(a.id, 0, a.name, "", Id("nonrep"), message), viaToken);
        EXPECT_EQ(legacy.SignData(kAlgRawRsa, a.id, "", a.name, Id("nonrep"), digest), viaToken);
        EXPECT_EQ(keyStorage.SignData(kAlgRawRsa, a.id, "", a.name, Id("nonrep"), digest),
                  viaToken);
    }
    // One login per store, none per signature.
    EXPECT_EQ(ui.pinDialogs.size(), 1u);
}

// The legacy path checks the digest length and needs a hash; the key storage path signs as given.
TEST_F(SignatureEngineTest, RawModeChecksDifferByPath) {
    const std::vector<std::uint8_t> shortDigest(31, 0x42);
    const auto digestInfo = BuildDigestInfo(HashKind::Sha256, *HashData(HashKind::Sha256, message));
    CertificateStore legacy(pkcs11::CryptokiOpener(Legacy()));
    EXPECT_EQ(CodeOf([&] {
                  legacy.SignData(kAlgRawRsa, kAlgSha256, "", "SHA256", Id("nonrep"), shortDigest);
              }),
              -10);
    EXPECT_EQ(CodeOf([&] { legacy.SignData(kAlgRawRsa, 0, "", "", Id("nonrep"), digestInfo); }),
              -10);
    CertificateStore keyStorage(pkcs11::CryptokiOpener(KeyStorage()));
    EXPECT_EQ(Recovered(keyStorage.SignData(kAlgRawRsa, kAlgSha256, "", "SHA256", Id("nonrep"),
                                            shortDigest)),
              BuildDigestInfo(HashKind::Sha256, shortDigest));
    EXPECT_TRUE(OpensslVerifies(
        "sha256", message, keyStorage.SignData(kAlgRawRsa, 0, "", "", Id("nonrep"), digestInfo)));
}

TEST_F(SignatureEngineTest, SecondTokenTakesTheKeyStoragePathAndSaysSo) {
    test::WriteFile(temp / "PenwrightA.log", "");
    ui.pins = {SoftHsmTokens::kPin, SoftHsmTokens::kPin};
    std::vector<std::uint8_t> viaHost, viaToken;
    {
        CGlobals log(temp.path().string());
        CGlobals::SetInstanceForTesting(&log);
        struct Restore {
            ~Restore() { CGlobals::SetInstanceForTesting(nullptr); }
        } restore;
        CertificateStore store(pkcs11::CryptokiOpener(Legacy()));
        viaHost = store.SignData(kAlgSha256, 0, "SHA256", "", Id("ksp"), message);
        viaToken = store.SignData(kAlgSha256, 0, "SHA256", "", Id("nonrep"), message);
    }

    EXPECT_TRUE(OpensslVerifies("sha256", message, viaHost));
    EXPECT_EQ(viaHost, viaToken);  // the same key pair on both tokens
    std::string logText = test::ReadFile(temp / "PenwrightA.log");
    std::erase(logText, '\0');  // UTF-16 of ASCII text
    EXPECT_EQ(logText.find(kKeyStoragePathLog), logText.rfind(kKeyStoragePathLog));
    EXPECT_NE(logText.find(kKeyStoragePathLog), std::string::npos);
    // One PIN per token.
    EXPECT_EQ(ui.pinDialogs.size(), 2u);
}

TEST_F(SignatureEngineTest, KeyThatDemandsLoginPerSignatureSigns) {
    ui.pins = {SoftHsmTokens::kPin, SoftHsmTokens::kPin};
    CertificateStore store(pkcs11::CryptokiOpener(Legacy()));
    for (int round = 0; round < 2; ++round) {
        const auto signature =
            store.SignData(kAlgSha256, 0, "SHA256", "", Id("alwaysauth"), message);
        EXPECT_TRUE(OpensslVerifies("sha256", message, signature));
    }
    ASSERT_EQ(ui.pinDialogs.size(), 2u);
    EXPECT_EQ(ui.pinDialogs[1].warnings,
              std::vector<std::string>{LoadMessage(kMsgPinForSignature)});
}

TEST_F(SignatureEngineTest, CancelledPinIsNoErrorAndAWrongOneAsksAgainNamingTokenAndCertificate) {
    ui.pins.clear();
    CertificateStore store(pkcs11::CryptokiOpener(Legacy()));
    EXPECT_THROW(store.SignData(kAlgSha256, 0, "SHA256", "", Id("nonrep"), message), SignCancelled);
    ui.pins = {"9999", SoftHsmTokens::kPin};
    store.SignData(kAlgSha1, 0, "SHA1", "", Id("nonrep"), message);
    ASSERT_EQ(ui.pinDialogs.size(), 3u);
    EXPECT_EQ(ui.pinDialogs[1].tokenLabel, SoftHsmTokens::kMainToken);
    EXPECT_THAT(ui.pinDialogs[1].prompt, ::testing::HasSubstr(SoftHsmTokens::kMainToken));
    EXPECT_EQ(ui.pinDialogs[1].certificate, "Certificate: Quillbox nonrep");
    EXPECT_EQ(ui.pinDialogs[1].caption, BoxCaption("Token PIN"));
    EXPECT_TRUE(ui.pinDialogs[1].warnings.empty());
    // SoftHSM also raises its "count low" flag after a wrong PIN; both are shown.
    EXPECT_THAT(ui.pinDialogs[2].warnings,
                ::testing::ElementsAre(LoadMessage(kMsgPinWrong), LoadMessage(kMsgPinCountLow)));
}

TEST_F(SignatureEngineTest, UnknownIdsAndKeylessCertificatesFailWithoutAPin) {
    CertificateStore store(pkcs11::CryptokiOpener(Legacy()));
    const std::string id = Id("nonrep");
    std::vector<std::uint8_t> found;
    ASSERT_EQ(store.GetCertificateBytes(id, found), 0);
    EXPECT_EQ(found, SoftHsmTokens::Get().Certificate("nonrep").der);
    for (const std::string& bad :
         {std::string(), std::string("not base64 at all!!!!!!!!!!!"), id.substr(0, 24), id + "AAAA",
          std::string("AAAAAAAAAAAAAAAAAAAAAAAAAAA="), std::string(id.size(), '*')}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(store.FindCertificateById(bad), nullptr);
        std::vector<std::uint8_t> der;
        EXPECT_EQ(store.GetCertificateBytes(bad, der), -5);
        EXPECT_EQ(CodeOf([&] { store.SignData(kAlgSha1, 0, "SHA1", "", bad, message); }), -5);
        EXPECT_EQ(CodeOf([&] { store.ViewCertificate(bad); }), -5);
    }
    for (const char* keyless : {"nokey", "ca"}) {
        EXPECT_EQ(CodeOf([&] { store.SignData(kAlgSha1, 0, "SHA1", "", Id(keyless), message); }),
                  -9);
    }
    // Listing and failing asked for no PIN.
    EXPECT_TRUE(ui.pinDialogs.empty());
}

TEST_F(SignatureEngineTest, FailuresCarryTheirCodeAndTextInTheCurrentLanguage) {
    CertificateStore store(pkcs11::CryptokiOpener(Legacy()));
    const std::vector<std::uint8_t> shortDigest(5, 1);
    auto open = [](const char* path) {
        pkcs11::TokenStoreOptions options;
        options.modulePath = path;
        CertificateStore broken(pkcs11::CryptokiOpener(options));
    };
    struct Failure {
        std::int32_t code;
        const char* text;
        std::function<void()> action;
    };
    const Failure failures[] = {
        {-5, "Certificate not found",
         [&] { store.SignData(kAlgSha1, 0, "SHA1", "", "", message); }},
        {-9, "Could not acquire certificate private key",
         [&] { store.SignData(kAlgSha1, 0, "SHA1", "", Id("nokey"), message); }},
        {-10, "Could not create hash object",
         [&] { store.SignData(kAlgRawRsa, kAlgSha1, "", "SHA1", Id("nonrep"), shortDigest); }},
        {-16, "Could not acquire context", [&] { open("/nonexistent/pkcs11.so"); }},
        {-16, "Could not acquire context", [&] { open("libc.so.6"); }},  // not a module
        {-16, "Could not acquire context", [&] { open(FAKE_MODULE_INIT_FAILS); }},
        {-6, "Could not open certificate keystore", [&] { open(FAKE_MODULE_NO_SLOTS); }},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.text);
        try {
            f.action();
            ADD_FAILURE() << "no failure";
        } catch (const CSignException& error) {
            EXPECT_EQ(error.Code(), f.code);
            EXPECT_EQ(error.Text(), f.text);
            EXPECT_TRUE(error.SystemText().empty());
        }
    }
    // The other languages' tables are checked with the messages; here only that the text
    // is taken in the language of the moment.
    SetLanguage("cs");
    try {
        failures[0].action();
        ADD_FAILURE() << "no failure";
    } catch (const CSignException& error) {
        EXPECT_EQ(error.Text(), "Certifikát nebyl nalezen");
    }
}

TEST_F(SignatureEngineTest, ViewerShowsTheCertificatesFields) {
    CertificateStore store(pkcs11::CryptokiOpener(Legacy()));
    store.ViewCertificate(Id("nonrep"));
    store.ViewCertificate(Id("noku"));
    ASSERT_EQ(ui.views.size(), 2u);
    const auto& view = ui.views[0];
    EXPECT_EQ(view.caption, "Certificate");
    auto field = [](const ui::CertificateViewRequest& v, const std::string& name) {
        for (const auto& [key, value] : v.fields) {
            if (key == name) {
                return value;
            }
        }
        return std::string("(missing)");
    };
    EXPECT_EQ(field(view, "Subject"), "CN=Quillbox nonrep, O=Quillbox Test, C=CZ");
    EXPECT_EQ(field(view, "Issuer"), "CN=Quillbox Test CA, O=Quillbox Test, C=CZ");
    EXPECT_EQ(field(view, "Key usage"), "Digital Signature, Non-Repudiation");
    EXPECT_THAT(field(view, "Valid from"), ::testing::MatchesRegex("[0-9]+/[0-9]+/[0-9]+"));
    EXPECT_EQ(field(view, "Serial number"), "65");  // 101
    EXPECT_EQ(test::ReadFile(SoftHsmTokens::Get().Certificate("nonrep").pem), view.pem);
    EXPECT_EQ(field(ui.views[1], "Key usage"), "(not restricted)");
}

// Names are encoded from the country down, often with the e-mail address after the common
// name; the viewer starts with the common name whatever the order.
TEST(CertificateViewTest, NamesStartWithTheCommonName) {
    const struct {
        std::vector<std::pair<std::string, std::string>> entries;  // in encoding order
        const char* shown;
    } cases[] = {
        {{{"C", "CZ"}, {"O", "Město"}, {"CN", "Jana Nováková"}, {"emailAddress", "j@k.cz"}},
         "CN=Jana Nováková, E=j@k.cz, O=Město, C=CZ"},
        {{{"CN", "Jana"}, {"O", "A, B"}, {"C", "CZ"}}, "CN=Jana, C=CZ, O=\"A, B\""},
        {{{"O", "Bez jména"}}, "O=Bez jména"},
    };
    for (const auto& c : cases) {
        test::CertificateSpec spec;
        spec.subject = c.entries;
        const auto view = DescribeCertificate(test::MakeCertificate(spec));
        ASSERT_TRUE(view);
        EXPECT_EQ(view->fields.at(0).second, c.shown);
    }
}

}  // namespace
}  // namespace quillbox::signing
