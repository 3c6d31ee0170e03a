#include "net/send/data_box_login.h"

#include "core/base64/base64_coder.h"
#include "core/utf.h"
#include "net/transfer/auth_cache.h"
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

constexpr std::size_t kChallengeBytes = 100;
constexpr std::size_t kServerMessageBytes = 1048;
constexpr std::size_t kServerMessageChars = 1048;
constexpr std::string_view kNoHeaderCode = "authentication.error.authHeaderNotFound";

std::string HeaderBytes(IntConn& connection, std::string_view name, std::size_t limit) {
    std::string value = connection.ResponseHeader(name).value_or("");
    if (value.size() > limit)
        value.resize(limit);
    return value;
}

}  // namespace

int ChallengeScheme(const std::optional<std::string>& header) {
    if (!header)
        return kSchemeNoChallenge;
    const std::string_view value = std::string_view(*header).substr(0, kChallengeBytes);
    // "totpsendsms" extends "totp", so it is tested first.
    static constexpr std::pair<std::string_view, int> kPrefixes[] = {
        {"Basic", kSchemeBasic}, {"Digest", kSchemeDigest},
        {"hotp", kSchemeHotp},   {"totpsendsms", kSchemeTotpSendSms},
        {"totp", kSchemeTotp},
    };
    for (const auto& [prefix, scheme] : kPrefixes)
        if (StartsWithNoCase(value, prefix))
            return scheme;
    return kSchemeUnknown;
}

std::string DecodeServerMessage(std::string_view text) {
    constexpr std::string_view kStart = "=?UTF-8?B?";
    constexpr std::string_view kEnd = "?=";
    std::string message;
    std::size_t at = 0;
    for (;;) {
        const std::string_view rest = text.substr(at);
        std::size_t start = std::string_view::npos;
        for (std::size_t i = 0; i + kStart.size() <= rest.size(); ++i) {
            if (EqualsNoCase(rest.substr(i, kStart.size()), kStart)) {
                start = i;
                break;
            }
        }
        if (start == std::string_view::npos)
            break;
        const std::size_t wordStart = at + start + kStart.size();
        const std::size_t end = text.find(kEnd, wordStart);
        if (end == std::string_view::npos)
            break;
        Base64Coder coder;
        const std::string encoded(text.substr(wordStart, end - wordStart));
        const std::vector<std::uint8_t> bytes = coder.DecodeToBytes(encoded.c_str());
        // A word that is not UTF-8 shows with replacement characters rather than garbage.
        message += ToValidUtf8(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        at = end + kEnd.size();
    }
    return TruncateUtf16Units(message, kServerMessageChars);
}

secret::SecretText BasicAuthorization(std::string_view user, std::string_view password,
                                      std::string_view code) {
    std::string joined;
    joined.reserve(user.size() + 1 + password.size() + code.size());
    joined.append(user).append(":").append(password).append(code);
    Base64Coder coder;
    coder.Encode(reinterpret_cast<const std::uint8_t*>(joined.data()),
                 static_cast<std::uint32_t>(joined.size()));
    secret::WipeString(joined);
    std::string line = "Authorization: Basic ";
    line += coder.EncodedMessage();
    // The coder keeps both forms in its buffers until it goes; overwrite them first.
    coder.AllocEncode(0);
    coder.AllocDecode(0);
    return secret::SecretText::TakeFrom(line);
}

StepAnswer RunDataBoxLogin(IntConn& connection, NetStatusCallback callback) {
    const int scheme = ChallengeScheme(connection.ResponseHeader("WWW-Authenticate"));
    connection.SetAuthScheme(scheme);

    std::string message;
    const std::string code =
        HeaderBytes(connection, "X-Response-message-code", kServerMessageBytes);
    if (!code.empty() && !EqualsNoCase(code, kNoHeaderCode)) {
        connection.ReportStatus(callback, MyNet_DebugInfo, code.c_str());
        message = DecodeServerMessage(
            HeaderBytes(connection, "X-Response-message-text", kServerMessageBytes));
    }
    const std::string url = connection.RequestUrl();
    if (scheme != kSchemeTotp)
        connection.SetOtpPassword("");
    if (scheme == kSchemeUnknown || scheme == kSchemeNoChallenge)
        return StepAnswer::Cancelled;

    std::string user = connection.GetOtpUser();
    secret::SecretText password(connection.GetOtpPassword());
    secret::SecretText otp;
    CLoginDlg dialog(url, scheme, message, false);
    if (!dialog.DoModal(user, password, otp))
        return StepAnswer::Cancelled;
    connection.SetOtpUser(user.c_str());
    connection.SetOtpPassword(password.data());

    if (scheme == kSchemeDigest) {
        // Answered by the transport; never remembered, so no password goes out in clear.
        connection.AnswerDigest(user, password.view());
        return StepAnswer::Handled;
    }
    secret::SecretText header = BasicAuthorization(
        user, password.view(), scheme == kSchemeBasic ? std::string_view() : otp.view());
    std::string line(header.view());
    // Replaces what an earlier, wrong answer put on the request.
    connection.PutRequestHeader(line);
    if (scheme == kSchemeBasic) {
        RememberAuthorization(url, line);
    } else {
        static constexpr const char* kReports[] = {
            "HOTP authorization", "TOTPSendSMS authorization", "TOTP authorization"};
        connection.ReportStatus(callback, MyNet_DebugInfo, kReports[scheme - kSchemeHotp]);
    }
    secret::WipeString(line);
    return StepAnswer::Handled;
}

}  // namespace quillbox::net
