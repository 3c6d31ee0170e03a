#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "platform/pkcs11/cryptoki.h"
#include "platform/pkcs11/cryptoki_token_store.h"
#include "platform/pkcs11/module.h"
#include "softhsm_token.h"
#include "test_support.h"

namespace quillbox::pkcs11 {
namespace {

using test::SoftHsmTokens;

// Answers PIN questions from a list and keeps every question; an exhausted list cancels.
class ListedPins final : public PinPrompt {
  public:
    explicit ListedPins(std::deque<std::string> pins) : pins_(std::move(pins)) {}
    std::optional<secret::SecretText> AskPin(const PinQuestion& question) override {
        questions.push_back(question);
        if (pins_.empty()) {
            return std::nullopt;
        }
        secret::SecretText pin(pins_.front());
        pins_.pop_front();
        return pin;
    }
    std::vector<PinQuestion> questions;

  private:
    std::deque<std::string> pins_;
};

class TokenStoreTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SoftHsmTokens::Get(); }

    static TokenStoreOptions Options() {
        TokenStoreOptions options;
        options.modulePath = SoftHsmTokens::kModulePath;
        return options;
    }

    template <typename List, typename Match>
    static std::size_t IndexOf(const List& list, Match match) {
        auto found = std::find_if(list.begin(), list.end(), match);
        if (found == list.end()) {
            throw std::runtime_error("not listed");
        }
        return static_cast<std::size_t>(found - list.begin());
    }
    static const TokenCertificate& Find(const TokenStore& store, std::string_view name) {
        const auto& der = SoftHsmTokens::Get().Certificate(name).der;
        return store.Certificates()[IndexOf(
            store.Certificates(), [&](const TokenCertificate& c) { return c.der == der; })];
    }
    // Slot order follows SoftHSM's token serials: find tokens by label.
    static std::size_t TokenIndex(const TokenStore& store, std::string_view label) {
        return IndexOf(store.Tokens(), [&](const TokenStatus& t) { return t.label == label; });
    }

    const std::vector<std::uint8_t> digestInfo_ = std::vector<std::uint8_t>(51, 0x5a);
};

// Which certificates count as having a key before login is proven by the certificate
// dialog's list, which shows them.
TEST_F(TokenStoreTest, ListsInitialisedTokensAndEveryCertificateWithoutLoggingIn) {
    auto store = OpenCryptokiTokenStore(Options());
    // SoftHSM always shows one more, uninitialised slot; it must not count.
    ASSERT_EQ(store->Tokens().size(), 2u);
    EXPECT_TRUE(store->Tokens()[TokenIndex(*store, SoftHsmTokens::kMainToken)].loginRequired);
    EXPECT_EQ(store->Certificates().size(), SoftHsmTokens::Get().Certificates().size());
}

TEST_F(TokenStoreTest, OneModulePerPathStaysUsableAfterEveryStoreIsGone) {
    auto first = Module::Load(SoftHsmTokens::kModulePath);
    EXPECT_EQ(Module::Load(SoftHsmTokens::kModulePath), first);
    OpenCryptokiTokenStore(Options()).reset();
    // Nobody finalised it: another part of the process can go on using it.
    CK_ULONG count = 0;
    EXPECT_EQ(first->functions()->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    EXPECT_EQ(OpenCryptokiTokenStore(Options())->Tokens().size(), 2u);
}

TEST_F(TokenStoreTest, PrivateKeysAreFoundDirectlyOnceLoggedIn) {
    auto first = OpenCryptokiTokenStore(Options());
    ListedPins pins({SoftHsmTokens::kPin});
    first->Sign(Find(*first, "nonrep"), Mechanism::RsaPkcs, digestInfo_, pins);
    // The first store's session keeps the login, so the second sees the private keys.
    auto second = OpenCryptokiTokenStore(Options());
    EXPECT_TRUE(Find(*second, "nonrep").hasPrivateKey);
    EXPECT_FALSE(Find(*second, "nokey").hasPrivateKey);
}

TEST_F(TokenStoreTest, MechanismLimitHidesEverythingElseOnThatTokenOnly) {
    auto full = OpenCryptokiTokenStore(Options());
    const std::size_t main = TokenIndex(*full, SoftHsmTokens::kMainToken);
    const std::size_t keyStorage = TokenIndex(*full, SoftHsmTokens::kKeyStorageToken);
    EXPECT_TRUE(full->Mechanisms(main).count(Mechanism::Sha256RsaPkcs));

    TokenStoreOptions options = Options();
    options.mechanismLimits[SoftHsmTokens::kKeyStorageToken] = {Mechanism::RsaPkcs};
    auto limited = OpenCryptokiTokenStore(options);
    EXPECT_EQ(limited->Mechanisms(keyStorage), std::set<Mechanism>{Mechanism::RsaPkcs});
    EXPECT_EQ(limited->Mechanisms(main), full->Mechanisms(main));
    EXPECT_TRUE(limited->Mechanisms(7).empty());
}

// A cancelled per-signature login gives no signature and leaves the store usable.
TEST_F(TokenStoreTest, CancelledSignatureLoginLeavesTheStoreUsable) {
    auto store = OpenCryptokiTokenStore(Options());
    ListedPins pins({SoftHsmTokens::kPin});
    const TokenCertificate& always = Find(*store, "alwaysauth");
    EXPECT_EQ(store->Sign(always, Mechanism::RsaPkcs, digestInfo_, pins).size(), 256u);
    ListedPins cancel({});
    EXPECT_THROW(store->Sign(always, Mechanism::RsaPkcs, digestInfo_, cancel), LoginCancelled);
    ASSERT_EQ(cancel.questions.size(), 1u);
    EXPECT_TRUE(cancel.questions[0].forSignature);
    EXPECT_EQ(store->Sign(Find(*store, "nonrep"), Mechanism::RsaPkcs, digestInfo_, cancel).size(),
              256u);
    // A block longer than a 2048-bit key can pad is refused by the token, not sent unpadded.
    try {
        store->Sign(Find(*store, "nonrep"), Mechanism::RsaPkcs, std::vector<std::uint8_t>(300, 1),
                    cancel);
        ADD_FAILURE() << "signed";
    } catch (const TokenError& error) {
        EXPECT_THAT(error.stage(),
                    ::testing::AnyOf(TokenError::Stage::SignLength, TokenError::Stage::Sign));
        EXPECT_NE(error.rv(), 0u);
    }
    EXPECT_EQ(cancel.questions.size(), 1u);
}

TEST(PinPadTest, ProtectedAuthenticationPathLogsInWithoutAskingForAPin) {
    test::ScopedEnv mode("QUILLBOX_FAKE_TOKEN", "pinpad");
    auto store = OpenCryptokiTokenStore({FAKE_PIN_PAD_MODULE});
    ASSERT_EQ(store->Certificates().size(), 1u);
    // No public keys to tell: the token's login requirement stands for the hidden key.
    EXPECT_TRUE(store->Certificates()[0].hasPrivateKey);
    ListedPins none({});
    const auto signature = store->Sign(store->Certificates()[0], Mechanism::RsaPkcs,
                                       std::vector<std::uint8_t>(35), none);
    EXPECT_EQ(signature, std::vector<std::uint8_t>(256, 0x5a));
    EXPECT_TRUE(none.questions.empty());
}

// However the module tells that the PIN is locked, the person is told once and the
// signature fails; nothing asks again, and a pad that refuses is not retried unattended.
TEST(PinPadTest, RefusedLoginEndsAfterTheLockedNoticeAtMost) {
    struct Case {
        const char* mode;
        CK_RV rv;
        std::size_t questions;  // the last one shows the locked token when rv says so
    };
    const Case cases[] = {
        {"locked", CKR_PIN_LOCKED, 1},
        {"pinpad-locked-unflagged", CKR_PIN_LOCKED, 1},
        {"keyboard-locked-unflagged", CKR_PIN_LOCKED, 2},  // the PIN typed, then the notice
        {"pinpad-refuses", CKR_PIN_INCORRECT, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        test::ScopedEnv mode("QUILLBOX_FAKE_TOKEN", c.mode);
        auto store = OpenCryptokiTokenStore({FAKE_PIN_PAD_MODULE});
        ASSERT_EQ(store->Certificates().size(), 1u);
        ListedPins pins({"1234", "1234", "1234"});
        try {
            store->Sign(store->Certificates()[0], Mechanism::RsaPkcs, std::vector<std::uint8_t>(35),
                        pins);
            ADD_FAILURE() << "signed";
        } catch (const TokenError& error) {
            EXPECT_EQ(error.stage(), TokenError::Stage::Login);
            EXPECT_EQ(error.rv(), c.rv);
        }
        ASSERT_EQ(pins.questions.size(), c.questions);
        const auto locked = std::ranges::count_if(
            pins.questions, [](const PinQuestion& q) { return q.token.pinLocked; });
        EXPECT_EQ(locked, c.rv == CKR_PIN_LOCKED ? 1 : 0);
        if (locked > 0) {
            EXPECT_TRUE(pins.questions.back().token.pinLocked);
        }
    }
}

TEST(TokenStatusTest, FlagsBecomeWarningsAndLabelLosesItsPadding) {
    const std::string label = "My Card                         ";
    const auto bytes = std::span(reinterpret_cast<const unsigned char*>(label.data()), 32);
    TokenStatus status = TokenStatusFromFlags(
        bytes, CKF_LOGIN_REQUIRED | CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY, 4, 8);
    EXPECT_EQ(status.label, "My Card");
    EXPECT_TRUE(status.loginRequired && status.pinCountLow && status.pinFinalTry);
    EXPECT_FALSE(status.pinLocked || status.protectedAuthPath);
    EXPECT_EQ(status.maxPinLength, 8u);

    status = TokenStatusFromFlags(bytes, CKF_USER_PIN_LOCKED | CKF_PROTECTED_AUTHENTICATION_PATH,
                                  CK_UNAVAILABLE_INFORMATION, CK_EFFECTIVELY_INFINITE);
    EXPECT_TRUE(status.pinLocked && status.protectedAuthPath);
    // "Unavailable" and "infinite" lengths both mean no limit.
    EXPECT_EQ(status.minPinLength, 0u);
    EXPECT_EQ(status.maxPinLength, 0u);
}

TEST(SecretTextTest, TakingAPinWipesTheSourceEvenPastItsEnd) {
    std::string typed = "12345678";
    typed.resize(4);  // a corrected PIN: "5678" stays past the end
    const char* buffer = typed.data();
    const std::size_t capacity = typed.capacity();
    secret::SecretText pin = secret::SecretText::TakeFrom(typed);
    EXPECT_TRUE(typed.empty());
    EXPECT_TRUE(std::all_of(buffer, buffer + capacity, [](char c) { return c == '\0'; }));
    EXPECT_EQ(pin.view(), "1234");

    // Handed on by moving, and NUL-terminated for C_Login and libcurl.
    secret::SecretText moved = std::move(pin);
    EXPECT_TRUE(pin.empty());
    EXPECT_STREQ(moved.data(), "1234");
    moved.Wipe();
    EXPECT_TRUE(moved.empty());
    EXPECT_STREQ(moved.data(), "");
}

}  // namespace
}  // namespace quillbox::pkcs11
