// The login dialog's rules: what each challenge scheme shows, and what OK takes over.
#include "net/send/login_dialog.h"

#include <gtest/gtest.h>

#include <optional>

#include "core/messages/messages.h"

namespace quillbox::net {
namespace {

// What the person types; nullopt: cancel.
struct Typed {
    std::string user, password, code;
};

// Gives a fixed answer and keeps what it was shown.
class AnsweringUi final : public ui::UserInterface {
  public:
    explicit AnsweringUi(std::optional<Typed> typed) : typed_(std::move(typed)) {
        ui::SetUserInterface(this);
    }
    ~AnsweringUi() override { ui::SetUserInterface(nullptr); }
    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest&) override {
        return ui::BoxAnswer::Cancel;
    }
    ui::LoginAnswer AskLogin(const ui::LoginRequest& request) override {
        ++asked;
        shownUser = request.userName;
        ui::LoginAnswer answer;
        if (typed_) {
            answer.confirmed = true;
            answer.userName = typed_->user;
            answer.password = secret::SecretText(typed_->password);
            answer.code = secret::SecretText(typed_->code);
        }
        return answer;
    }
    int asked = 0;
    std::string shownUser;

  private:
    std::optional<Typed> typed_;
};

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TEST(LoginDialogTest, SchemeDecidesFieldsButtonAndFocus) {
    SetLanguage("en");
    struct Row {
        int scheme;
        bool codeShown, codeEnabled, userAndPasswordEnabled;
        const char* okText;
        const char* codeCue;
        bool focusOnCode;
    };
    const Row rows[] = {
        {kSchemeBasic, false, true, true, "OK", "SMS code", false},
        {kSchemeDigest, false, true, true, "OK", "SMS code", false},
        {kSchemeHotp, true, true, true, "OK", "Code", false},
        {kSchemeTotpSendSms, true, false, true, "Send SMS", "SMS code", false},
        {kSchemeTotp, true, true, false, "OK", "SMS code", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scheme);
        const ui::LoginRequest request = CLoginDlg("https://box.example/", row.scheme, "", false)
                                             .Request("jana", secret::SecretText("tajne"));
        EXPECT_EQ(request.code.shown, row.codeShown);
        EXPECT_EQ(request.code.enabled, row.codeEnabled);
        EXPECT_EQ(request.user.enabled, row.userAndPasswordEnabled);
        EXPECT_EQ(request.password.enabled, row.userAndPasswordEnabled);
        EXPECT_EQ(request.okText, row.okText);
        EXPECT_EQ(request.code.cue, row.codeCue);
        EXPECT_EQ(request.focusOnCode, row.focusOnCode);
        EXPECT_EQ(request.passwordText.view(), "tajne");
    }
}

TEST(LoginDialogTest, TextsNameTheServerInTheLanguageChosen) {
    struct Row {
        const char* url;
        const char* server;
    };
    const Row rows[] = {
        {"https://box.example/as/processLogin?type=hotp", "box.example"},
        {"http://box.example", "box.example"},
        {"HTTPS://Box.example:8443/a", "Box.example:8443"},
        {"box.example/a/b", "box.example"},
    };
    SetLanguage("en");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        EXPECT_EQ(CLoginDlg(row.url, kSchemeBasic, "", false).Request("", {}).serverLine,
                  std::string("The server ") + row.server +
                      " is asking for your user name and password.");
    }
    SetLanguage("cs");
    EXPECT_EQ(CLoginDlg("https://box.example/", kSchemeHotp, "", false).Request("", {}).serverLine,
              "Server box.example požaduje vaše uživatelské jméno a heslo.");
    SetLanguage("en");
}

TEST(LoginDialogTest, OkTakesOverOnlyFieldsNotEmptyCutTo100Characters) {
    const std::string czech100 = Repeat("ř", 100);
    struct Row {
        const char* what;
        std::optional<Typed> typed;
        bool confirmed;
        Typed expected;
    };
    const Row rows[] = {
        {"all typed", Typed{"petr", "nove", "123456"}, true, {"petr", "nove", "123456"}},
        {"emptied fields keep the old values",
         Typed{"", "", "654321"},
         true,
         {"jana", "stare", "654321"}},
        {"cancel", std::nullopt, false, {"jana", "stare", "kod"}},
        {"long Czech texts",
         Typed{czech100 + "ž", czech100 + "žš", Repeat("7", 101)},
         true,
         {czech100, czech100, Repeat("7", 100)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        AnsweringUi ui(row.typed);
        std::string user = "jana";
        secret::SecretText password("stare");
        secret::SecretText code("kod");
        CLoginDlg dialog("https://box.example/", kSchemeHotp, "", false);
        EXPECT_EQ(dialog.DoModal(user, password, code), row.confirmed);
        EXPECT_EQ(ui.shownUser, "jana");
        EXPECT_EQ(user, row.expected.user);
        EXPECT_EQ(password.view(), row.expected.password);
        EXPECT_EQ(code.view(), row.expected.code);
    }
}

}  // namespace
}  // namespace quillbox::net
