#include "net/transfer/connection_dialogs.h"

#include "core/identity.h"
#include "core/messages/messages.h"

namespace quillbox::net {
namespace {

enum Message : int {
    kProxyNeedsCredentials = 133,
    kServerNeedsCredentials = 134,
    kServerAsksCredentials = 205,
    kUserNameLabel = 206,
    kOk = 112,
    kCancel = 119,
    kSecurityWarning = 225,
    kCertWrongName = 226,
    kCertWrongDate = 227,
    kCertUnknownAuthority = 228,
    kCertRevocation = 229,
    kRedirectToPlain = 230,
    kContinueQuestion = 231,
    kPasswordLabel = 232,
    kYes = 233,
    kNo = 234,
};

}  // namespace

std::optional<ui::CertificateWarningRequest> CertificateWarningFor(http::TransferError error,
                                                                   const std::string& host) {
    int problem = 0;
    switch (error) {
        case http::TransferError::CertNameInvalid:
            problem = kCertWrongName;
            break;
        case http::TransferError::CertDateInvalid:
            problem = kCertWrongDate;
            break;
        case http::TransferError::CertUnknownAuthority:
            problem = kCertUnknownAuthority;
            break;
        case http::TransferError::CertRevocationFailed:
            problem = kCertRevocation;
            break;
        case http::TransferError::RedirectNeedsConfirmation:
            problem = kRedirectToPlain;
            break;
        default:
            return std::nullopt;
    }
    ui::CertificateWarningRequest request;
    request.caption = BoxCaption(LoadMessage(kSecurityWarning));
    request.problem = FormatMessageText(problem, {host});
    request.host = host;
    request.question = LoadMessage(kContinueQuestion);
    request.yesText = LoadMessage(kYes);
    request.noText = LoadMessage(kNo);
    return request;
}

ui::CredentialsRequest CredentialsRequestFor(const std::string& host, bool proxy,
                                             const std::string& knownUserName) {
    ui::CredentialsRequest request;
    request.caption =
        BoxCaption(LoadMessage(proxy ? kProxyNeedsCredentials : kServerNeedsCredentials));
    request.prompt = FormatMessageText(kServerAsksCredentials, {host});
    request.userNameLabel = LoadMessage(kUserNameLabel);
    request.passwordLabel = LoadMessage(kPasswordLabel);
    request.userName = knownUserName;
    request.okText = LoadMessage(kOk);
    request.cancelText = LoadMessage(kCancel);
    return request;
}

}  // namespace quillbox::net
