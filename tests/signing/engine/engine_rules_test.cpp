#include <gtest/gtest.h>

#include "core/identity.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/registry.h"
#include "signing/engine/certificate_id.h"
#include "signing/engine/module_choice.h"
#include "signing/engine/signing_path.h"
#include "signing/engine/ui_pin_prompt.h"
#include "test_support.h"

namespace quillbox::signing {
namespace {

using pkcs11::Mechanism;

TEST(SigningPathTest, HashingTokensTakeTheLegacyPathOnlyForMechanismsTheyOffer) {
    const std::set<Mechanism> full = {Mechanism::RsaPkcs, Mechanism::Sha1RsaPkcs,
                                      Mechanism::Sha256RsaPkcs};
    EXPECT_EQ(ChooseSigningPath(full, HashKind::Sha256), SigningPath::Legacy);
    // A hash the token lacks is done here instead of failing.
    EXPECT_EQ(ChooseSigningPath(full, HashKind::Md5), SigningPath::KeyStorage);
    // Raw mode without a hash on a hashing token: legacy, where it is refused.
    EXPECT_EQ(ChooseSigningPath(full, std::nullopt), SigningPath::Legacy);

    const std::set<Mechanism> blocksOnly = {Mechanism::RsaPkcs};
    EXPECT_EQ(ChooseSigningPath(blocksOnly, HashKind::Sha512), SigningPath::KeyStorage);
    EXPECT_EQ(ChooseSigningPath(blocksOnly, std::nullopt), SigningPath::KeyStorage);

    EXPECT_EQ(ChooseSigningPath({}, HashKind::Sha1), std::nullopt);
    EXPECT_EQ(ChooseSigningPath({Mechanism::Sha1RsaPkcs}, HashKind::Sha256), std::nullopt);
}

TEST(CertificateIdTest, OnlyTheCanonicalTextOfTwentyBytesNamesACertificate) {
    const std::vector<std::uint8_t> der = {0x30, 0x03, 0x02, 0x01, 0x05};
    const std::string id = CertificateIdOf(der);
    EXPECT_EQ(id.size(), 28u);
    ASSERT_TRUE(ThumbprintFromId(id));
    EXPECT_EQ(*ThumbprintFromId(id), ThumbprintOf(der));

    for (const std::string& bad : {id.substr(0, 27), id + "====", " " + id.substr(1),
                                   id.substr(0, 26) + "B=",  // stray bits in the padding
                                   std::string("AAAAAAAAAAAAAAAAAAAAAAAAAA=="),  // 19 bytes
                                   std::string()}) {
        EXPECT_FALSE(ThumbprintFromId(bad)) << bad;
    }
}

class PinDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { SetLanguage("en"); }
    void TearDown() override { ResetLanguageForTesting(); }

    pkcs11::PinQuestion question{pkcs11::TokenStatus{.label = "Card A"}};
};

TEST_F(PinDialogTest, NamesTokenAndCertificateAndShowsTheStrongestTokenWarning) {
    const ui::PinDialogRequest first = BuildPinDialog(question, "Jan Novák");
    EXPECT_TRUE(first.warnings.empty());
    EXPECT_EQ(first.caption, BoxCaption("Token PIN"));  // the plug-in's, like every dialog
    EXPECT_EQ(first.prompt, "PIN for the token \"Card A\":");
    EXPECT_EQ(first.certificate, "Certificate: Jan Novák");
    EXPECT_TRUE(BuildPinDialog(question).certificate.empty());

    question.token.pinCountLow = true;
    EXPECT_EQ(BuildPinDialog(question).warnings, std::vector{LoadMessage(kMsgPinCountLow)});
    question.token.pinFinalTry = true;
    question.afterWrongPin = true;
    EXPECT_EQ(BuildPinDialog(question).warnings,
              (std::vector{LoadMessage(kMsgPinWrong), LoadMessage(kMsgPinFinalTry)}));
    question.token.pinLocked = true;
    const ui::PinDialogRequest locked = BuildPinDialog(question);
    EXPECT_EQ(locked.warnings.back(), LoadMessage(kMsgPinLocked));
    EXPECT_FALSE(locked.canEnter);
    EXPECT_FALSE(locked.Accepts("1234"));
}

TEST_F(PinDialogTest, AcceptsOnlyPinsWithinTheTokensLimits) {
    question.token.minPinLength = 4;
    question.token.maxPinLength = 6;
    const ui::PinDialogRequest request = BuildPinDialog(question);
    for (const auto& [pin, accepted] : {std::pair{"", false},
                                        {"123", false},
                                        {"1234", true},
                                        {"123456", true},
                                        {"1234567", false}}) {
        EXPECT_EQ(request.Accepts(pin), accepted) << pin;
    }
    EXPECT_TRUE(BuildPinDialog(pkcs11::PinQuestion{}).Accepts(std::string(200, '7')));
}

TEST(ModuleChoiceTest, EnvironmentThenSettingThenProxy) {
    test::TempDir config;
    test::ScopedEnv home("XDG_CONFIG_HOME", config.path().string());
    test::ScopedEnv env(kModuleEnvironmentVariable, std::nullopt);
    EXPECT_EQ(ConfiguredModulePath(), QUILLBOX_P11KIT_PROXY);

    ASSERT_TRUE(WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {},
                                   std::string("/opt/card/module.so"), kModuleSettingName));
    EXPECT_EQ(ConfiguredModulePath(), "/opt/card/module.so");

    test::ScopedEnv chosen(kModuleEnvironmentVariable, "/usr/lib/softhsm/libsofthsm2.so");
    EXPECT_EQ(ConfiguredModulePath(), "/usr/lib/softhsm/libsofthsm2.so");
}

}  // namespace
}  // namespace quillbox::signing
