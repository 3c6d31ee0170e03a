#include "net/send/login_dialog.h"

#include <string_view>
#include <utility>

#include "core/identity.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

// The server as the dialog names it: the URL without its scheme, up to the first "/".
std::string ServerOf(std::string_view url) {
    for (std::string_view scheme : {"https://", "http://"}) {
        if (StartsWithNoCase(url, scheme)) {
            url.remove_prefix(scheme.size());
            break;
        }
    }
    return std::string(url.substr(0, url.find('/')));
}

std::string_view FirstCharacters(std::string_view text) {
    return text.substr(0, ui::LoginPrefixBytes(text, kLoginFieldChars));
}

}  // namespace

CLoginDlg::CLoginDlg(std::string url, int authScheme, std::string serverMessage, bool isProxy)
    : url_(std::move(url)),
      authScheme_(authScheme),
      serverMessage_(std::move(serverMessage)),
      isProxy_(isProxy) {}

ui::LoginRequest CLoginDlg::Request(const std::string& userName,
                                    const secret::SecretText& password) const {
    const bool hotp = authScheme_ == kSchemeHotp;
    const bool sendSms = authScheme_ == kSchemeTotpSendSms;
    const bool totp = authScheme_ == kSchemeTotp;

    ui::LoginRequest request;
    request.caption = BoxCaption(LoadMessage(msg::kAuthentication));
    request.heading = LoadMessage(isProxy_ ? msg::kProxyNeedsLogin : msg::kServerNeedsLogin);
    request.serverLine = FormatMessageText(msg::kServerAsksLogin, {ServerOf(url_)});
    request.serverMessage = serverMessage_;
    request.user = {.cue = LoadMessage(msg::kUserNameCue),
                    .label = LoadMessage(msg::kUserNameLabel),
                    .enabled = !totp};
    request.password = {.cue = LoadMessage(msg::kPasswordCue),
                        .label = LoadMessage(msg::kPasswordLabel),
                        .enabled = !totp,
                        .masked = true};
    request.code = {.cue = LoadMessage(hotp ? msg::kCodeCue : msg::kSmsCodeCue),
                    .label = LoadMessage(hotp ? msg::kCodeLabel : msg::kSmsCodeLabel),
                    .shown = hotp || sendSms || totp,
                    .enabled = !sendSms};
    request.userName = userName;
    request.passwordText = secret::SecretText(password.view());
    request.focusOnCode = totp;
    request.maxChars = kLoginFieldChars;
    request.okText = LoadMessage(sendSms ? msg::kSendSms : msg::kOk);
    request.cancelText = LoadMessage(msg::kCancel);
    return request;
}

bool CLoginDlg::DoModal(std::string& userName, secret::SecretText& password,
                        secret::SecretText& code) {
    // Without a known challenge there is nothing to log in with: counts as cancelled.
    if (authScheme_ < kSchemeBasic) {
        return false;
    }
    const ui::LoginAnswer answer = ui::CurrentUserInterface().AskLogin(Request(userName, password));
    if (!answer.confirmed) {
        return false;
    }
    // A field the person emptied keeps what was there.
    if (!answer.userName.empty()) {
        userName = std::string(FirstCharacters(answer.userName));
    }
    if (!answer.password.empty()) {
        password = secret::SecretText(FirstCharacters(answer.password.view()));
    }
    if (!answer.code.empty()) {
        code = secret::SecretText(FirstCharacters(answer.code.view()));
    }
    return true;
}

}  // namespace quillbox::net
