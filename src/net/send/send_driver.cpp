#include "net/send/send_driver.h"

#include <cstring>
#include <memory>

#include "net/send/login_dialog.h"
#include "net/transfer/connection_dialogs.h"
#include "net/transfer/cookie_step.h"
#include "net/transfer/url_parts.h"
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

int AskLoginState(const SendRequest& request) {
    if (request.callback == nullptr)
        return kLoginNotDataBox;
    std::string buffer(kAuthTypeBufferSize, '\0');
    std::memcpy(buffer.data(), "unknown", 7);
    request.callback(MyNet_GetISDSAuth, buffer.data(), request.callbackContext);
    buffer.back() = '\0';
    buffer.resize(std::strlen(buffer.c_str()));
    return LoginStateFromText(buffer);
}

// Leaving TLS for plain HTTP between two steps of a login needs the person's consent, as
// it does for a redirect the transport follows itself.
bool MayFollow(const std::string& from, const std::string& to) {
    if (!StartsWithNoCase(from, "https://") || StartsWithNoCase(to, "https://"))
        return true;
    const auto warning =
        CertificateWarningFor(http::TransferError::RedirectNeedsConfirmation, HostNameOf(from));
    return warning && ui::CurrentUserInterface().AskContinueDespiteCertificate(*warning);
}

// Only the web's own schemes: a page (or a server's redirect) naming a local file or an
// FTP site must not get the plug-in to read it and hand it back.
bool IsWebUrl(const std::string& url) {
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

}  // namespace

int LoginStateFromText(std::string_view text) {
    if (text.empty() || EqualsNoCase(text, "basic"))
        return kLoginBasic;
    if (EqualsNoCase(text, "cert"))
        return kLoginCert;
    if (EqualsNoCase(text, "token"))
        return kLoginToken;
    if (EqualsNoCase(text, "sms"))
        return kLoginSms;
    return kLoginNotDataBox;
}

ResultCode RunSendDriver(const SendRequest& request, SendResponse& response) {
    auto newConnection = [&] {
        auto connection = std::make_unique<IntConn>();
        connection->SetClientCertMap(request.clientCertMap);
        return connection;
    };
    std::unique_ptr<IntConn> connection = newConnection();
    auto report = [&](int code, const char* text) {
        connection->ReportStatus(request.callback, code, text);
    };

    int state = AskLoginState(request);
    bool redirectHandling = state == kLoginToken || state == kLoginSms;
    connection->SetRedirectHandling(redirectHandling);
    connection->SetDataBoxForm(state != kLoginNotDataBox);

    std::string url = request.url;
    ResultCode result = ResultCode::Success;
    const ResponseOut out{&response.body, &response.bodyLength, &response.rawHeaders,
                          &response.statusText, &response.contentType};
    for (;;) {
        if (!IsWebUrl(url)) {
            report(MyNet_DebugInfo, "Error - only http and https URLs are sent to");
            result = ResultCode::Failed;
            break;
        }
        RunCookieStep(url.c_str(), request.callbackContext, request.callback);
        if (!connection->Open(nullptr, url.c_str(), request.userName, request.password, nullptr,
                              nullptr, nullptr, request.flags, request.callbackContext,
                              request.callback)) {
            report(MyNet_ConnectigFailed, nullptr);
            result = ResultCode::Failed;
            break;
        }
        if (redirectHandling) {
            report(MyNet_DebugInfo, "Handling redirect");
            result =
                connection->SendData(nullptr, 0, request.extraHeaders.c_str(), request.callback);
        } else {
            result = connection->SendData(request.data, request.length,
                                          request.extraHeaders.c_str(), request.callback);
        }
        if (result != ResultCode::Success)
            report(MyNet_SendingFailed, nullptr);
        else
            result = connection->ReadResponse(out, request.callback);
        if (result != ResultCode::Success || !redirectHandling)
            break;

        std::string next;
        if (!connection->GetRedirectUrl(next)) {
            // A login exchange carries no data: ending here would leave the page's data unsent.
            report(MyNet_DebugInfo, "Error - login exchange ended without redirect, data not sent");
            result = ResultCode::Failed;
            break;
        }
        if (!MayFollow(url, next)) {
            result = ResultCode::Cancelled;
            break;
        }
        url = std::move(next);

        const std::string otpUser = connection->GetOtpUser();
        const secret::SecretText otpPassword(connection->GetOtpPassword());
        const int scheme = connection->GetAuthScheme();
        connection = newConnection();
        if (state == kLoginSms) {
            state = kLoginSmsCode;
            connection->SetDataBoxForm(true);
            if (scheme == kSchemeTotpSendSms) {
                connection->SetOtpUser(otpUser.c_str());
                connection->SetOtpPassword(otpPassword.data());
                connection->SetRedirectHandling(true);
                report(MyNet_DebugInfo, "From TOTPSendSMS to TOTP");
            } else if (scheme == kSchemeNoChallenge) {
                redirectHandling = false;
                report(MyNet_DebugInfo, "From TOTPSendSMS to normal");
            } else {
                report(MyNet_DebugInfo, "Error - unknown state after TOTPSendSMS authentization!");
                result = ResultCode::Failed;
            }
        } else if (state == kLoginToken || state == kLoginSmsCode) {
            redirectHandling = false;
            connection->SetRedirectHandling(false);
            connection->SetDataBoxForm(true);
            report(MyNet_DebugInfo, "Redirect to normal");
        } else {
            report(MyNet_DebugInfo, "Error - unknown state after OTP authentization!");
            result = ResultCode::Failed;
        }
        if (result != ResultCode::Success)
            break;
    }
    report(result == ResultCode::Success ? MyNet_Send_OK : MyNet_Send_ERROR, nullptr);
    connection->SetResult(result);
    return result;
}

}  // namespace quillbox::net
