#include "signing/dialog/penwright_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/registry.h"
#include "core/sign_exception.h"
#include "platform/pkcs11/cryptoki_token_store.h"
#include "signing/engine/certificate_store.h"
#include "signing/engine/short_date.h"
#include "signing/filter/certificate_entry.h"
#include "softhsm_token.h"
#include "test_support.h"

namespace quillbox::signing {
namespace {

using test::SoftHsmTokens;
using ::testing::ElementsAre;
using Actions = std::function<void(ui::CertificateChooser&)>;

// Opens the chooser as a front end does, then runs the test's clicks; the certificate
// viewer only counts what it was shown.
class ChooserUi final : public ui::UserInterface {
  public:
    ChooserUi() { ui::SetUserInterface(this); }
    ~ChooserUi() override { ui::SetUserInterface(nullptr); }
    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest& box) override {
        return box.defaultAnswer;
    }
    void ShowCertificate(const ui::CertificateViewRequest& request) override {
        viewed.push_back(request.pem);
    }
    void RunCertificateChooser(ui::CertificateChooser& chooser) override {
        texts = chooser.Texts();
        chooser.Open();
        if (actions && !chooser.Finished()) {
            actions(chooser);
        }
    }
    Actions actions;
    ui::CertificateChooserTexts texts;
    std::vector<std::string> viewed;
};

std::vector<std::string> Names(const ui::CertificateChooser& chooser) {
    std::vector<std::string> names;  // friendly names are the test certificates' names
    for (const ui::CertificateRow& row : chooser.Rows()) {
        names.push_back(row.friendlyName);
    }
    return names;
}

std::string Selected(const ui::CertificateChooser& chooser) {
    return chooser.Selection() ? chooser.Rows()[*chooser.Selection()].friendlyName : "";
}

std::string Id(std::string_view name) {
    return SoftHsmTokens::Get().Certificate(name).id;
}

class PenwrightDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        SoftHsmTokens::Get();
        pkcs11::TokenStoreOptions options;
        options.modulePath = SoftHsmTokens::kModulePath;
        store = new CertificateStore(pkcs11::CryptokiOpener(options));
    }
    static void TearDownTestSuite() { delete store; }

    void SetUp() override {
        SetLanguage("en");
        settings::SetSettingsStore(&settingsFiles);
        globals = std::make_unique<CGlobals>(temp.path().string());
        CGlobals::SetInstanceForTesting(globals.get());
    }
    void TearDown() override {
        CGlobals::SetInstanceForTesting(nullptr);
        settings::SetSettingsStore(nullptr);
        ResetLanguageForTesting();
    }

    int Run(Actions actions, DialogPurpose purpose = DialogPurpose::Sign, std::string filter = {}) {
        dialog.Prepare(purpose, *store, std::move(filter), {}, "forms.example");
        ui.actions = std::move(actions);
        return dialog.DoModal(ui);
    }
    static void Remember(std::string_view name, const settings::Value& value) {
        ASSERT_TRUE(
            WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, value, name));
    }
    static std::uint32_t StoredShowAll() {
        std::uint32_t value = 99;
        ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, nullptr, &value,
                          "ShowAllCerts");
        return value;
    }

    inline static CertificateStore* store = nullptr;
    test::TempDir temp;
    test::ScopedEnv config{"XDG_CONFIG_HOME", (temp.path() / "config").string()};
    settings::IniSettingsStore settingsFiles;
    std::unique_ptr<CGlobals> globals;
    ChooserUi ui;
    CPenwrightDlg dialog;
};

TEST_F(PenwrightDialogTest, ListsUsableCertificatesSortedAndShowAllRelaxesOnlyKeyUsage) {
    std::vector<std::string> strict, relaxed;
    ui::CertificateRow row;
    Run([&](ui::CertificateChooser& chooser) {
        strict = Names(chooser);
        chooser.SetShowAll(true);
        relaxed = Names(chooser);
        row = chooser.Rows()[3];
    });
    // Both tokens, by name; expired, not yet valid and keyless ones never appear.
    EXPECT_THAT(strict, ElementsAre("alwaysauth", "ksp", "nonrep", "qc-both", "qc-compliance",
                                    "qc-policy", "qc-sscd"));
    EXPECT_THAT(relaxed, ElementsAre("alwaysauth", "ksp", "noku", "nonrep", "qc-both",
                                     "qc-compliance", "qc-policy", "qc-sscd", "signonly"));

    const auto nonrep = CertificateEntry::FromDer(SoftHsmTokens::Get().Certificate("nonrep").der);
    const std::string from = ShortDate(nonrep->notBefore, kLanguageEnglish);
    const std::string to = ShortDate(nonrep->notAfter, kLanguageEnglish);
    EXPECT_EQ(row.displayName + "|" + row.issuerName + "|" + row.validFrom + "|" + row.validTo,
              "Quillbox nonrep|Quillbox Test CA|" + from + "|" + to);
    EXPECT_EQ(row.certificateId, Id("nonrep"));
}

TEST_F(PenwrightDialogTest, FilterDropsCertificatesAndItsSyntaxErrorsEndTheDialog) {
    const std::string filter = "StrCmp(SubjectStr(2.5.4.3),{Quillbox nonrep})";
    std::vector<std::string> listed;
    Run([&](ui::CertificateChooser& chooser) { listed = Names(chooser); }, DialogPurpose::Sign,
        filter);
    EXPECT_THAT(listed, ElementsAre("nonrep"));

    // The front end sees a finished dialog; the parse error reaches whoever showed it.
    bool clicked = false;
    try {
        Run([&](ui::CertificateChooser&) { clicked = true; }, DialogPurpose::Sign, "And(true");
        ADD_FAILURE() << "no failure";
    } catch (const CSignException& error) {
        EXPECT_EQ(error.Code(), -22);
    }
    EXPECT_FALSE(clicked);
    EXPECT_EQ(dialog.result(), 1);
}

TEST_F(PenwrightDialogTest, PurposeChoosesRememberedCertificateAndTexts) {
    Remember("LastSignCert", Id("qc-sscd"));
    Remember("LastLoginCert", Id("ksp"));
    struct Case {
        DialogPurpose purpose;
        const char* remembered;
        const char* title;
        const char* confirm;
    };
    for (const Case& c :
         {Case{DialogPurpose::ChooseCertificate, "qc-sscd", "Choose certificate", "OK"},
          Case{DialogPurpose::Sign, "qc-sscd", "Sign data", "Sign"},
          Case{DialogPurpose::LoginCertificate, "ksp", "Log in to forms.example", "OK"}}) {
        std::vector<std::string> selected;
        Run(
            [&](ui::CertificateChooser& chooser) {
                selected.push_back(Selected(chooser));
                chooser.SetShowAll(true);  // a refill moves the row, not the choice
                selected.push_back(Selected(chooser));
                EXPECT_TRUE(chooser.CanConfirm());
                chooser.Confirm();
            },
            c.purpose);
        EXPECT_THAT(selected, ElementsAre(c.remembered, c.remembered));
        EXPECT_EQ(dialog.chosenId(), Id(c.remembered));
        EXPECT_EQ(ui.texts.caption, std::string("Quillbox Plug-in (32b) 1.31.0.81: ") + c.title);
        EXPECT_EQ(ui.texts.confirm, c.confirm);
    }

    // An id whose certificate is gone selects the first row, where the keyboard starts;
    // View shows the clicked row's one.
    Remember("LastSignCert", std::string("AAAAAAAAAAAAAAAAAAAAAAAAAAA="));
    Run([&](ui::CertificateChooser& chooser) {
        EXPECT_EQ(chooser.Selection(), std::optional<std::size_t>(0));
        chooser.Select(2);
        chooser.View();
        chooser.Cancel();
    });
    EXPECT_THAT(ui.viewed,
                ElementsAre(test::ReadFile(SoftHsmTokens::Get().Certificate("noku").pem)));
}

TEST_F(PenwrightDialogTest, OnlyTheConfirmButtonRemembersTheCheckBox) {
    struct Case {
        Actions actions;
        int result;
        const char* chosen;
        std::uint32_t showAll;
    };
    const Case cases[] = {
        {[](ui::CertificateChooser& c) {
             c.SetShowAll(false);
             c.Select(2);
             c.Confirm();
         },
         0, "nonrep", 0},
        {[](ui::CertificateChooser& c) {
             c.SetShowAll(false);
             c.DoubleClick(2);
         },
         0, "nonrep", 1},
        // Without a selection the confirm button does nothing.
        {[](ui::CertificateChooser& c) {
             c.SetShowAll(false);
             c.Select(std::nullopt);
             c.Confirm();
             c.Cancel();
         },
         1, "", 1},
        {{}, 1, "", 1},  // the window closed without an answer
    };
    for (const Case& c : cases) {
        Remember("ShowAllCerts", std::uint32_t{1});
        EXPECT_EQ(Run(c.actions), c.result);
        EXPECT_EQ(dialog.chosenId(), *c.chosen ? Id(c.chosen) : "");
        EXPECT_EQ(StoredShowAll(), c.showAll);
    }
}

TEST_F(PenwrightDialogTest, PreviewIsFetchedWhenFirstShownAndRetriedUntilItArrives) {
    std::vector<std::optional<std::string>> answers = {std::nullopt, "", "a \xC5\x99 \xFF"};
    int fetched = 0;
    CPenwrightDlg withPreview([&](const std::string& url) {
        EXPECT_EQ(url, "https://forms.example/preview");
        return answers.at(fetched++);
    });
    std::vector<std::optional<std::string>> shown;
    ui.actions = [&](ui::CertificateChooser& chooser) {
        EXPECT_TRUE(chooser.HasPreviewPage());
        EXPECT_EQ(fetched, 0);
        for (int i = 0; i < 4; ++i) {
            shown.push_back(chooser.PreviewShown());
        }
        chooser.Cancel();
    };
    withPreview.Prepare(DialogPurpose::Sign, *store, {}, "https://forms.example/preview", {});
    withPreview.DoModal(ui);
    EXPECT_EQ(fetched, 3);
    EXPECT_THAT(shown, ElementsAre(std::nullopt, std::nullopt, "a \xC5\x99 \xEF\xBF\xBD",
                                   "a \xC5\x99 \xEF\xBF\xBD"));
}

TEST(ShortDateTest, LocalDateInTheMessageLanguagesWay) {
    const std::int64_t lateEvening = 1796513400;  // 2026-12-05 23:30 UTC
    for (const auto& [zone, language, expected] :
         {std::tuple{"UTC0", kLanguageEnglish, "12/5/2026"},
          {"CET-1", kLanguageEnglish, "12/6/2026"},
          {"CET-1", kLanguageCzech, "6. 12. 2026"},
          {"CET-1", kLanguageSlovak, "6. 12. 2026"}}) {
        test::ScopedEnv tz("TZ", zone);
        tzset();
        EXPECT_EQ(ShortDate(lateEvening, language), expected) << zone;
    }
    tzset();
}

}  // namespace
}  // namespace quillbox::signing
