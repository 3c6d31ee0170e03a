#include "net/transfer/connection_dialogs.h"

#include "core/identity.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"

namespace quillbox::net {

std::optional<ui::CertificateWarningRequest> CertificateWarningFor(http::TransferError error,
                                                                   const std::string& host) {
    int problem = 0;
    switch (error) {
        case http::TransferError::CertNameInvalid:
            problem = msg::kCertWrongName;
            break;
        case http::TransferError::CertDateInvalid:
            problem = msg::kCertWrongDate;
            break;
        case http::TransferError::CertUnknownAuthority:
            problem = msg::kCertUnknownAuthority;
            break;
        case http::TransferError::CertRevocationFailed:
            problem = msg::kCertRevocation;
            break;
        case http::TransferError::RedirectNeedsConfirmation:
            problem = msg::kRedirectToPlain;
            break;
        default:
            return std::nullopt;
    }
    ui::CertificateWarningRequest request;
    request.caption = BoxCaption(LoadMessage(msg::kSecurityWarning));
    request.problem = FormatMessageText(problem, {host});
    request.host = host;
    request.question = LoadMessage(msg::kContinueQuestion);
    request.yesText = LoadMessage(msg::kYes);
    request.noText = LoadMessage(msg::kNo);
    return request;
}

ui::CredentialsRequest CredentialsRequestFor(const std::string& host, bool proxy,
                                             const std::string& knownUserName) {
    ui::CredentialsRequest request;
    request.caption =
        BoxCaption(LoadMessage(proxy ? msg::kProxyNeedsLogin : msg::kServerNeedsLogin));
    request.prompt = FormatMessageText(msg::kServerAsksLogin, {host});
    request.userNameLabel = LoadMessage(msg::kUserNameLabel);
    request.passwordLabel = LoadMessage(msg::kCredentialsPasswordLabel);
    request.userName = knownUserName;
    request.okText = LoadMessage(msg::kOk);
    request.cancelText = LoadMessage(msg::kCancel);
    return request;
}

}  // namespace quillbox::net
