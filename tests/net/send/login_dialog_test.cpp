#include "net/send/login_dialog.h"

#include <gtest/gtest.h>

#include "core/messages/messages.h"

namespace quillbox::net {
namespace {

struct Typed {
    std::string user, password, code;
};

// Confirms the dialog with what the person typed.
class TypingUi final : public ui::UserInterface {
  public:
    explicit TypingUi(Typed typed) : typed_(std::move(typed)) { ui::SetUserInterface(this); }
    ~TypingUi() override { ui::SetUserInterface(nullptr); }
    ui::BoxAnswer ShowMessageBox(const ui::MessageBoxRequest&) override {
        return ui::BoxAnswer::Cancel;
    }
    ui::LoginAnswer AskLogin(const ui::LoginRequest&) override {
        ui::LoginAnswer answer;
        answer.confirmed = true;
        answer.userName = typed_.user;
        answer.password = secret::SecretText(typed_.password);
        answer.code = secret::SecretText(typed_.code);
        return answer;
    }

  private:
    Typed typed_;
};

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    while (times-- > 0)
        text += piece;
    return text;
}

// The scheme decides the fields, the button and the focus; the text names the server as the
// URL's host and port.
TEST(LoginDialogTest, SchemeDecidesFieldsButtonAndFocus) {
    SetLanguage("en");
    struct Row {
        int scheme;
        bool codeShown, codeEnabled, userAndPasswordEnabled;
        const char *okText, *codeCue;
        bool focusOnCode;
        const char *url, *server;
    };
    const Row rows[] = {
        {kSchemeBasic, false, true, true, "OK", "SMS code", false, "box.example/a/b",
         "box.example"},
        {kSchemeHotp, true, true, true, "OK", "Code", false,
         "https://box.example/as/processLogin?type=hotp", "box.example"},
        {kSchemeTotpSendSms, true, false, true, "Send SMS", "SMS code", false,
         "HTTPS://Box.example:8443/a", "Box.example:8443"},
        {kSchemeTotp, true, true, false, "OK", "SMS code", true, "http://box.example",
         "box.example"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scheme);
        const ui::LoginRequest request = CLoginDlg(row.url, row.scheme, "", false).Request("", {});
        EXPECT_EQ(request.code.shown, row.codeShown);
        EXPECT_EQ(request.code.enabled, row.codeEnabled);
        EXPECT_EQ(request.user.enabled, row.userAndPasswordEnabled);
        EXPECT_EQ(request.password.enabled, row.userAndPasswordEnabled);
        EXPECT_EQ(request.okText, row.okText);
        EXPECT_EQ(request.code.cue, row.codeCue);
        EXPECT_EQ(request.focusOnCode, row.focusOnCode);
        EXPECT_EQ(request.serverLine, std::string("The server ") + row.server +
                                          " is asking for your user name and password.");
    }
}

TEST(LoginDialogTest, OkTakesOverOnlyFieldsNotEmptyCutTo100Characters) {
    const std::string czech100 = Repeat("ř", 100);
    const struct {
        const char* what;
        Typed typed, expected;
    } rows[] = {
        {"emptied fields keep the old values", {"", "", "654321"}, {"jana", "stare", "654321"}},
        {"long Czech texts",
         {czech100 + "ž", czech100 + "žš", Repeat("7", 101)},
         {czech100, czech100, Repeat("7", 100)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TypingUi ui(row.typed);
        std::string user = "jana";
        secret::SecretText password("stare");
        secret::SecretText code("kod");
        EXPECT_TRUE(CLoginDlg("https://box.example/", kSchemeHotp, "", false)
                        .DoModal(user, password, code));
        EXPECT_EQ(user, row.expected.user);
        EXPECT_EQ(password.view(), row.expected.password);
        EXPECT_EQ(code.view(), row.expected.code);
    }
}

}  // namespace
}  // namespace quillbox::net
