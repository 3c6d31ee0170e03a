#include "net/transfer/int_conn.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <string_view>

#include <sys/mman.h>

#include "core/globals.h"
#include "core/identity.h"
#include "net/transfer/auth_cache.h"
#include "net/transfer/connection_dialogs.h"
#include "net/transfer/cookie_step.h"
#include "net/transfer/server_auth_steps.h"
#include "net/transfer/status_report.h"
#include "net/transfer/url_parts.h"
#include "platform/http/transfer.h"
#include "platform/secret/secret_text.h"
#include "platform/system/ascii_case.h"
#include "platform/ui/user_interface.h"

namespace quillbox::net {
namespace {

constexpr int kMaxAttempts = 20;
constexpr std::size_t kLargeChunk = 12582912;
constexpr std::size_t kSmallChunk = 10240;
// Most of a server's error page that a failed exchange hands over for the log.
constexpr std::size_t kErrorPageLimit = 1 << 20;
constexpr std::size_t kMaxPathLength = 260;
constexpr std::size_t kMaxOtpLength = 100;
constexpr std::size_t kMaxUserAgent = 400;
constexpr std::size_t kMaxCookiePart = 100;
constexpr std::size_t kRedirectShown = 50;
constexpr std::size_t kMaxStatusText = 1000;
// A body is reserved up to its Content-Length, but never beyond this or 64 times what has
// arrived: a server may claim any length, and only what it sends may cost memory.
constexpr std::size_t kTrustedClaim = std::size_t{16} << 20;
constexpr std::size_t kClaimPerArrived = 64;

constexpr long kReceiveTimeoutMs = 86400000;
constexpr long kSendTimeoutMs = 600000;
constexpr long kConnectTimeoutMs = 3600000;

// Answers of the error dialog the loop compares.
constexpr int kAnswerSuccess = 0;
constexpr int kAnswerInvalidWindow = 6;
constexpr int kAnswerCancelled = 1223;
constexpr int kAnswerForceRetry = 12032;
constexpr int kAnswerNone = -1;  // no step or dialog answered

constexpr std::string_view kDataBoxCookie = "IPCZ-X-COOKIE";

bool IsCertificateProblem(http::TransferError error) {
    return error == http::TransferError::CertNameInvalid ||
           error == http::TransferError::CertDateInvalid ||
           error == http::TransferError::CertUnknownAuthority ||
           error == http::TransferError::CertRevocationFailed;
}

std::string Printf(const char* format, long long value) {
    std::string text(64, '\0');
    const int n = std::snprintf(text.data(), text.size(), format, value);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

std::string UserAgent() {
    std::string agent = "Mozilla/5.0 (X11; Linux x86_64) Quillbox/" + std::string(kPluginVersion);
    if (agent.size() > kMaxUserAgent)
        agent.resize(kMaxUserAgent);
    return agent;
}

// The Set-Cookie lines of a header block, joined by "; " per line.
std::vector<std::string> SetCookieLines(const std::string& rawHeaders) {
    std::vector<std::string> lines;
    std::string_view rest = rawHeaders;
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
        constexpr std::string_view kName = "Set-Cookie:";
        if (line.size() > kName.size() && EqualsNoCase(line.substr(0, kName.size()), kName))
            lines.emplace_back(line.substr(kName.size()));
    }
    return lines;
}

// A large body is touched once from end to end: huge pages spare most of the page faults.
void AdviseLargeBlock(void* data, std::size_t size) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (size < 4 * kHuge)
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Characters of a UTF-8 text: the bytes that do not continue a character.
std::size_t Utf8Characters(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// A text that fits its block (with the terminator the block always had) or empty.
std::string Limited(std::string text, std::size_t limit) {
    return text.size() < limit ? text : std::string();
}

}  // namespace

struct IntConn::Internals {
    std::unique_ptr<http::Transfer> transfer;
    UrlParts url;
    bool requestOpen = false;   // SendData or ReadResponse opened the request
    bool exchangeDone = false;  // SendData ran the exchange
    bool ftpFileOpen = false;   // an FTP transfer ran (upload) or started (download)
    int attempts = 0;
    int lastError = 0;
    bool certificateChosen = false;
    std::string enteredUser;  // from the credentials dialog
};

IntConn::IntConn() : internals_(std::make_unique<Internals>()) {
    userAgent_ = UserAgent();
    if (CGlobals::Get().DebugFlag())
        QB_LOG(LogLevel::File, nullptr, "ObtainUserAgentString result: 0x%08lx", 0ul);
}

IntConn::~IntConn() {
    if (localFile_ != nullptr)
        std::fclose(localFile_);
    // With result 3 the platform's handles were left open for the caller; the library's
    // handle owns nothing a caller could use, so it goes in every case.
}

void IntConn::ReportStatus(NetStatusCallback callback, int code, const char* text) {
    if (callback != nullptr) {
        if (text == nullptr) {
            callback(code, nullptr, callbackContext_);
            return;
        }
        std::string copy(text);
        callback(code, copy.data(), callbackContext_);
        return;
    }
    CGlobals::Get().LogText(LogLevel::File, nullptr, FormatStatusLine(code, text));
}

bool IntConn::SetOtpUser(const char* value) {
    if (value == nullptr || Utf8Characters(value) > kMaxOtpLength)
        return false;
    otpUser_ = value;
    return true;
}

bool IntConn::SetOtpPassword(const char* value) {
    if (value == nullptr || Utf8Characters(value) > kMaxOtpLength)
        return false;
    otpPassword_ = secret::SecretText(value);
    return true;
}

std::optional<std::string> IntConn::ResponseHeader(std::string_view name) const {
    if (!internals_->transfer)
        return std::nullopt;
    return internals_->transfer->Header(name);
}

std::string IntConn::RequestUrl() const {
    return internals_->transfer ? internals_->transfer->EffectiveUrl() : fullUrl_;
}

void IntConn::PutRequestHeader(const std::string& line) {
    if (internals_->transfer)
        internals_->transfer->AddHeaders(line, http::HeaderMode::AddReplace);
}

void IntConn::AnswerDigest(const std::string& userName, std::string_view password) {
    if (!internals_->transfer)
        return;
    internals_->transfer->RemoveHeader("Authorization");
    internals_->transfer->SetCredentials(userName, password);
    internals_->transfer->SetDigest(true);
}

bool IntConn::InstallClientKey(const std::string& certificateId,
                               std::shared_ptr<http::ClientKey> key) {
    if (!internals_->transfer || !internals_->transfer->SetClientKey(std::move(key)))
        return false;
    chosenCertificateId_ = certificateId;
    return true;
}

bool IntConn::GetRedirectUrl(std::string& url) {
    if (!redirectUrl_)
        return false;
    url = std::move(*redirectUrl_);
    redirectUrl_.reset();
    return true;
}

bool IntConn::Open(void* parentWindow, const char* url, const char* userName, const char* password,
                   const char* proxyServer, const char* proxyUser, const char* proxyPassword,
                   unsigned flags, void* callbackContext, NetStatusCallback callback) {
    parentWindow_ = parentWindow;
    userName_ = userName;
    password_ = password;
    proxyServer_ = proxyServer;
    proxyUser_ = proxyUser;
    proxyPassword_ = proxyPassword;
    callbackContext_ = callbackContext;

    passiveFtp_ = flags % 10 == 1;
    proxyType_ = static_cast<int>(flags / 10 % 10);
    unsigned options = flags / 100 % 10;
    if (options >= 4) {
        smallReadChunks_ = true;
        options -= 4;
    }
    if (options >= 2) {
        sendCredentialHeaders_ = false;
        options -= 2;
    }
    if (options >= 1)
        useHttp10_ = true;
    switch (flags / 1000 % 10) {
        case 1:
            verb_ = "PUT";
            break;
        case 2:
            verb_ = "GET";
            break;
        case 3:
            verb_ = "HEAD";
            break;
        default:
            verb_ = "POST";
            break;
    }
    trustedDomainCheck_ = flags / 10000 % 10 == 1;

    const std::string_view given = url != nullptr ? url : "";
    std::optional<std::string> path;
    if (given.size() >= 7 && EqualsNoCase(given.substr(0, 7), "file://")) {
        path = FileUrlToPath(given);
        if (!path) {
            ReportStatus(callback, MyNet_DebugInfo, std::string(given).c_str());
            ReportStatus(callback, MyNet_DebugInfo, "PathCreateFromUrl - file not found");
            ReportStatus(callback, MyNet_FILE_OpenFailed, nullptr);
            return false;
        }
    } else if (!given.empty() && (given.front() == '\\' || given.front() == '/') &&
               given.size() < kMaxPathLength) {
        path = std::string(given);
    }
    if (path) {
        ReportStatus(callback, MyNet_FILE, nullptr);
        localFile_ = std::fopen(path->c_str(), "rb");
        if (localFile_ == nullptr) {
            ReportStatus(callback, MyNet_FILE_OpenFailed, nullptr);
            return false;
        }
        ReportStatus(callback, MyNet_FILE_Opened, nullptr);
        isLocalFile_ = true;
        return true;
    }

    fullUrl_ = CompleteScheme(given);
    auto parts = CrackUrl(fullUrl_);
    if (!parts)
        return false;
    internals_->url = std::move(*parts);
    ReportStatus(callback, MyNet_CrackURL, nullptr);
    hostName_ = HostNameOf(fullUrl_);

    tolerateCertErrors_ = false;
    if (trustedDomainCheck_ &&
        IsTrustedDomain(hostName_, CurrentServerAuthSteps().TrustedDomainSuffixes())) {
        tolerateCertErrors_ = true;
        ReportStatus(callback, MyNet_DebugInfo, "Recognized ISDS server");
    }
    if (dataBoxForm_)
        ReportStatus(callback, MyNet_DebugInfo, "Recognized ISDS form");
    if (redirectHandling_)
        ReportStatus(callback, MyNet_DebugInfo, "Handling redirect");
    ReportStatus(callback, MyNet_InternetOpen, Printf("iFlagProxyType = %i", proxyType_).c_str());

    if (proxyType_ > 2) {
        ReportStatus(callback, MyNet_InternetOpenFailed, "Unknown proxy type");
        return false;
    }
    std::unique_ptr<http::Transfer> transfer;
    try {
        transfer = http::CreateTransfer();
    } catch (const std::exception&) {
    }
    if (!transfer) {
        ReportStatus(callback, MyNet_InternetOpenFailed, "Session is NULL");
        return false;
    }
    transfer->SetUserAgent(userAgent_);
    const http::ProxyMode modes[] = {http::ProxyMode::Direct, http::ProxyMode::System,
                                     http::ProxyMode::Named};
    transfer->SetProxy(modes[proxyType_], proxyServer_ != nullptr ? proxyServer_ : "");
    transfer->SetUrl(fullUrl_);

    switch (internals_->url.schemeNumber) {
        case UrlScheme::Http:
            ReportStatus(callback, MyNet_InternetConnectHTTP, nullptr);
            break;
        case UrlScheme::Https:
            ReportStatus(callback, MyNet_InternetConnectHTTPS, nullptr);
            if (userName_ != nullptr)
                transfer->SetCredentials(userName_, password_ != nullptr ? password_ : "");
            break;
        case UrlScheme::Ftp:
            ReportStatus(callback, MyNet_InternetConnectFTP, nullptr);
            if (userName_ != nullptr)
                transfer->SetCredentials(userName_, password_ != nullptr ? password_ : "");
            transfer->SetPassiveFtp(passiveFtp_);
            break;
        case UrlScheme::Unknown:
            return false;
    }
    if (proxyServer_ != nullptr && *proxyServer_ != '\0' && proxyUser_ != nullptr)
        transfer->SetProxyCredentials(proxyUser_, proxyPassword_ != nullptr ? proxyPassword_ : "");
    internals_->transfer = std::move(transfer);
    return true;
}

ResultCode IntConn::SendData(const std::uint8_t* data, std::size_t length, const char* extraHeaders,
                             NetStatusCallback callback) {
    auto& in = *internals_;
    if (isLocalFile_ || !in.transfer)
        return ResultCode::Failed;
    http::Transfer& transfer = *in.transfer;
    const UrlScheme scheme = in.url.schemeNumber;

    if (scheme == UrlScheme::Ftp) {
        ReportStatus(callback, MyNet_SendFTP, nullptr);
        transfer.SetUploadProgress([this, callback](std::size_t bytes) {
            ReportStatus(callback, MyNet_Upload,
                         Printf("%d", static_cast<long long>(bytes)).c_str());
        });
        // The upload completes within the exchange, so the loop does not run for FTP.
        const auto sent = transfer.Send(data, length, true);
        transfer.SetUploadProgress(nullptr);
        in.requestOpen = in.exchangeDone = in.ftpFileOpen = true;
        if (sent.error != http::TransferError::None) {
            in.lastError = sent.errorNumber;
            ReportStatus(callback, MyNet_Error, sent.message.c_str());
            return result_ = ResultCode::Failed;
        }
        return result_ = ResultCode::Success;
    }

    const bool https = scheme == UrlScheme::Https;
    ReportStatus(callback, https ? MyNet_POSTOpenRequestHTTPS : MyNet_POSTOpenRequestHTTP,
                 useHttp10_ ? "HTTP/1.0" : nullptr);
    transfer.SetVerb(verb_);
    transfer.SetHttp10(useHttp10_);
    transfer.SetAutoRedirect(!redirectHandling_);
    in.requestOpen = true;

    auto addCredentials = [&] {
        if (userName_ == nullptr || *userName_ == '\0')
            return;
        const std::string_view pass = password_ != nullptr ? password_ : "";
        transfer.SetCredentials(userName_, pass);
        if (sendCredentialHeaders_) {
            transfer.AddHeaders("MyName: " + std::string(userName_), http::HeaderMode::AddReplace);
            // The header list keeps its own copy for the exchange; this one goes now.
            std::string line = "MyPassword: ";
            line += pass;
            transfer.AddHeaders(line, http::HeaderMode::AddReplace);
            secret::WipeString(line);
        }
    };
    if (https)
        addCredentials();
    if (extraHeaders != nullptr && *extraHeaders != '\0') {
        ReportStatus(callback, MyNet_AddHeader, nullptr);
        transfer.AddHeaders(extraHeaders,
                            https ? http::HeaderMode::Add : http::HeaderMode::AddReplace);
    }
    if (!https)
        addCredentials();
    transfer.SetTimeouts(kReceiveTimeoutMs, kSendTimeoutMs, kConnectTimeoutMs);

    const ResultCode result = ExecuteRequest(data, length, callback);
    in.exchangeDone = true;
    return result_ = result;
}

int IntConn::AskAboutProblem(long status, int error, NetStatusCallback callback) {
    auto& in = *internals_;
    const auto transportError = static_cast<http::TransferError>(error);
    if (parentWindow_ == nullptr)
        ReportStatus(callback, MyNet_DebugInfo, "InternetErrorDlg - parent is null");
    auto& ui = ui::CurrentUserInterface();
    if (auto warning = CertificateWarningFor(transportError, hostName_)) {
        if (!ui.AskContinueDespiteCertificate(*warning))
            return kAnswerCancelled;
        if (transportError == http::TransferError::RedirectNeedsConfirmation)
            in.transfer->SetSecurityFlags(in.transfer->SecurityFlags() |
                                          http::kAllowRedirectToHttp);
        return kAnswerSuccess;
    }
    if (transportError == http::TransferError::None && (status == 401 || status == 407)) {
        const bool proxy = status == 407;
        const std::string known = proxy ? (proxyUser_ != nullptr ? proxyUser_ : "")
                                        : (!in.enteredUser.empty() ? in.enteredUser
                                           : userName_ != nullptr  ? userName_
                                                                   : "");
        const auto request = CredentialsRequestFor(hostName_, proxy, known);
        // The password stays in the transfer only, and the answer wipes its own copy.
        auto answer = ui.AskCredentials(request);
        if (!answer.confirmed)
            return kAnswerCancelled;
        if (proxy) {
            in.transfer->SetProxyCredentials(answer.userName, answer.password.view());
        } else {
            in.enteredUser = answer.userName;
            in.transfer->SetCredentials(answer.userName, answer.password.view());
        }
        return kAnswerForceRetry;
    }
    return kAnswerSuccess;
}

ResultCode IntConn::ExecuteRequest(const std::uint8_t* data, std::size_t length,
                                   NetStatusCallback callback) {
    auto& in = *internals_;
    if (!in.transfer)
        return ResultCode::Failed;
    http::Transfer& transfer = *in.transfer;
    using http::TransferError;

    for (;;) {
        if (++in.attempts > kMaxAttempts) {
            ReportStatus(callback, MyNet_Error, "Maximum of requests exceeded");
            return ResultCode::Failed;
        }
        const std::string verb = transfer.Verb();
        ReportStatus(callback, MyNet_POSTDataHTTP_S, verb.c_str());
        const bool withBody = !EqualsNoCase(verb, "GET");

        if (!(transfer.SecurityFlags() & http::kIgnoreRevocation)) {
            transfer.SetSecurityFlags(transfer.SecurityFlags() | http::kIgnoreRevocation);
            ReportStatus(callback, MyNet_DebugInfo, "Setting fir...");
        }

        if (dataBoxForm_) {
            const auto cookie = CookieForUrl(fullUrl_);
            const auto eq = cookie ? cookie->find('=') : std::string::npos;
            if (eq != std::string::npos &&
                http::GetCookies(fullUrl_, true).find(kDataBoxCookie) == std::string::npos &&
                http::SetCookie(fullUrl_, std::string(kDataBoxCookie), cookie->substr(eq + 1),
                                false))
                ReportStatus(callback, MyNet_DebugInfo, "Setting auc...");
            if (const auto header = AuthorizationForUrl(fullUrl_)) {
                if (transfer.AddHeaders(*header, http::HeaderMode::AddIfNew))
                    ReportStatus(callback, MyNet_DebugInfo, "Setting bah...");
            }
        }

        ReportStatus(callback, MyNet_DebugInfo, "Sending request...");
        const http::SendResult sent = transfer.Send(data, length, withBody);
        in.lastError = sent.errorNumber;
        if (sent.error != TransferError::None)
            ReportStatus(
                callback, MyNet_DebugInfo,
                Printf("HttpSendRequest failed, LastError = %i", sent.errorNumber).c_str());
        ReportStatus(callback, MyNet_DebugInfo, "HttpSendRequest done");
        ReportStatus(callback, MyNet_Uploaded, nullptr);

        if (sent.error == TransferError::Cancelled) {
            ReportStatus(callback, MyNet_DebugInfo, "Client certificate PIN canceled");
            return ResultCode::Cancelled;
        }

        long status = transfer.StatusCode();
        if (status == 0)
            std::fputs("\nHttpQueryInfo failed\n", stderr);

        if (redirectHandling_ && status == 302) {
            // A relative Location is taken against the request's URL.
            redirectUrl_ = transfer.RedirectLocation();
            if (!redirectUrl_) {
                ReportStatus(callback, MyNet_DebugInfo, "No url for redirect...");
            } else {
                status = 200;
                (void)transfer.EffectiveUrl();
                if (dataBoxForm_ && authScheme_ >= 2 && authScheme_ <= 4)
                    RememberDataBoxCookie(transfer.RawHeaders(), callback);
            }
        }

        if (status == 200 && sent.error == TransferError::None)
            break;

        if (sent.error == TransferError::ClientCertNeeded) {
            const StepAnswer step = CurrentServerAuthSteps().ClientCertificate(*this);
            if (step == StepAnswer::Handled) {
                in.certificateChosen = true;
                continue;
            }
            if (step == StepAnswer::Cancelled)
                return ResultCode::Cancelled;
        }

        if (sent.error != TransferError::None)
            ReportStatus(callback, MyNet_DebugInfo,
                         (Printf("HttpStatusCode = %i", status) +
                          Printf(", LastError = %i", sent.errorNumber))
                             .c_str());
        else
            ReportStatus(callback, MyNet_DebugInfo, Printf("HttpStatusCode = %i", status).c_str());
        if (status == 301 || status == 302) {
            const std::string location = Limited(transfer.Header("Location").value_or(""), 2048);
            ReportStatus(callback, MyNet_DebugInfo,
                         ("Redirect to " + location.substr(0, kRedirectShown) + "...").c_str());
        }

        int answer = kAnswerNone;
        if (tolerateCertErrors_ && IsCertificateProblem(sent.error)) {
            answer = kAnswerSuccess;
            ReportStatus(callback, MyNet_DebugInfo, "Setting uns...");
        } else if (dataBoxForm_ && status == 401) {
            const StepAnswer step = CurrentServerAuthSteps().DataBoxLogin(*this, callback);
            if (step == StepAnswer::Cancelled) {
                answer = kAnswerCancelled;
                ReportStatus(callback, MyNet_DebugInfo, "Server auth canceled");
            } else if (step == StepAnswer::Handled) {
                answer = kAnswerForceRetry;
            }
        } else {
            answer = AskAboutProblem(status, static_cast<int>(sent.error), callback);
        }

        if (answer == kAnswerCancelled)
            return ResultCode::Cancelled;

        const bool goOn = answer == kAnswerSuccess || answer == kAnswerForceRetry;
        bool retry = false;
        switch (sent.error) {
            case TransferError::ClientCertNeeded:
                // No certificate to offer (the step did not handle it): asking again
                // would only repeat the same refusal.
                retry = answer == kAnswerForceRetry;
                break;
            case TransferError::CertNameInvalid:
            case TransferError::CertDateInvalid:
            case TransferError::CertUnknownAuthority:
                if (goOn) {
                    transfer.SetSecurityFlags(transfer.SecurityFlags() |
                                              http::kIgnoreUnknownAuthority |
                                              http::kIgnoreWrongName | http::kIgnoreWrongDate);
                    ReportStatus(callback, MyNet_DebugInfo, "Ignoring certificate validation");
                    retry = true;
                } else if (answer == kAnswerInvalidWindow) {
                    ReportStatus(callback, MyNet_DebugInfo,
                                 "InternetErrorDlg cannot show dialog - the handle to the parent "
                                 "window is invalid!");
                }
                break;
            case TransferError::CertRevocationFailed: {
                constexpr unsigned kAll = http::kIgnoreRevocation | http::kIgnoreUnknownAuthority |
                                          http::kIgnoreWrongUsage;
                if (goOn && (transfer.SecurityFlags() & kAll) != kAll) {
                    transfer.SetSecurityFlags(transfer.SecurityFlags() | kAll);
                    ReportStatus(callback, MyNet_DebugInfo, "Ignoring crp...");
                    retry = true;
                } else if (goOn) {
                    ReportStatus(callback, MyNet_DebugInfo, "Error - cannot ignore crp!");
                }
                break;
            }
            case TransferError::RedirectNeedsConfirmation:
                retry = answer == kAnswerSuccess;
                break;
            default:
                retry = answer == kAnswerForceRetry;
                break;
        }
        // The person let the redirect go its way: what arrived counts as the answer.
        if (sent.error == TransferError::RedirectNeedsConfirmation && answer != kAnswerSuccess)
            break;
        if (retry)
            continue;

        ReportFailure(status, sent, callback);
        return ResultCode::ServerError;
    }

    if (in.certificateChosen)
        CurrentServerAuthSteps().ExchangeSucceeded(*this);
    return ResultCode::Success;
}

void IntConn::RememberDataBoxCookie(const std::string& rawHeaders, NetStatusCallback callback) {
    constexpr std::string_view kDomain = "Domain=";
    for (const std::string& line : SetCookieLines(rawHeaders)) {
        std::string cookie, domain;
        std::string_view rest = line;
        while (!rest.empty()) {
            const auto semi = rest.find(';');
            const std::string_view part = TrimSpaces(rest.substr(0, semi));
            rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
            if (part.size() >= kMaxCookiePart)
                continue;
            const auto at = part.find(std::string(kDataBoxCookie) + "=");
            if (at != std::string_view::npos)
                cookie = std::string(part.substr(at));
            const auto d = part.find(kDomain);
            if (d != std::string_view::npos)
                domain = std::string(part.substr(d + kDomain.size()));
        }
        if (!cookie.empty() && !domain.empty()) {
            RememberCookie(domain, cookie);
            ReportStatus(callback, MyNet_DebugInfo, "Remembered auc...");
            return;
        }
    }
}

void IntConn::ReportFailure(long status, const http::SendResult& sent, NetStatusCallback callback) {
    auto& in = *internals_;
    const std::string ownText = http::ErrorText(sent.errorNumber);
    if (!ownText.empty()) {
        std::string text = sent.message.empty() ? ownText : sent.message;
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
        text += Printf(" (error code = %i)", sent.errorNumber);
        ReportStatus(callback, MyNet_Error, text.c_str());
    } else {
        std::string reason = in.transfer->ReasonPhrase();
        if (reason.size() > kMaxStatusText)
            reason.resize(kMaxStatusText);
        std::string text;
        if (status == 0)
            text = Printf("WinInet error %d", sent.errorNumber);
        else if (reason.empty())
            text = Printf("Http error %d", status);
        else
            text = Printf("Http error: %d", status) + " " + reason;
        ReportStatus(callback, MyNet_HTTPError, text.c_str());
    }
    ReportStatus(callback, MyNet_WININETError, Printf("LastError = %d", sent.errorNumber).c_str());
}

ResultCode IntConn::ReadResponse(const ResponseOut& out, NetStatusCallback callback) {
    std::vector<std::uint8_t> scratch;
    std::vector<std::uint8_t>& body = out.body != nullptr ? *out.body : scratch;
    body.clear();
    if (out.bodyLength != nullptr)
        *out.bodyLength = 0;

    if (isLocalFile_) {
        if (std::fseek(localFile_, 0, SEEK_END) != 0)
            return ResultCode::Failed;
        const long size = std::ftell(localFile_);
        if (size < 0)
            return ResultCode::Failed;
        std::rewind(localFile_);
        body.resize(static_cast<std::size_t>(size));
        const std::size_t got = size > 0 ? std::fread(body.data(), 1, body.size(), localFile_) : 0;
        body.resize(got);
        if (out.bodyLength != nullptr)
            *out.bodyLength = got;
        ReportStatus(callback, MyNet_Download, Printf("%d", static_cast<long long>(size)).c_str());
        return ResultCode::Success;
    }

    auto& in = *internals_;
    if (!in.transfer)
        return ResultCode::Failed;
    http::Transfer& transfer = *in.transfer;
    const UrlScheme scheme = in.url.schemeNumber;
    ResultCode exchange = ResultCode::Success;

    if (scheme == UrlScheme::Ftp) {
        if (in.ftpFileOpen)
            return ResultCode::Success;
        ReportStatus(callback, MyNet_FileOpenFTP, nullptr);
        const auto opened = transfer.Send(nullptr, 0, false);
        in.requestOpen = in.ftpFileOpen = true;
        if (opened.error != http::TransferError::None) {
            in.lastError = opened.errorNumber;
            ReportStatus(callback, MyNet_Error, opened.message.c_str());
            return result_ = ResultCode::Failed;
        }
    } else if (!in.requestOpen) {
        ReportStatus(
            callback,
            scheme == UrlScheme::Https ? MyNet_GETOpenRequestHTTPS : MyNet_GETOpenRequestHTTP,
            nullptr);
        transfer.SetVerb("GET");
        transfer.SetHttp10(useHttp10_);
        transfer.SetAutoRedirect(true);
        if (userName_ != nullptr)
            transfer.SetCredentials(userName_, password_ != nullptr ? password_ : "");
        in.requestOpen = true;
        exchange = ExecuteRequest(nullptr, 0, callback);
    }

    if (scheme != UrlScheme::Ftp) {
        if (out.rawHeaders != nullptr)
            *out.rawHeaders = Limited(transfer.RawHeaders(), kRawHeadersLimit);
        const long status = transfer.StatusCode();
        if (out.statusText != nullptr)
            *out.statusText = status > 0 ? Limited(std::to_string(status), kStatusTextLimit) : "";
        if (out.contentType != nullptr)
            *out.contentType =
                Limited(transfer.Header("Content-Type").value_or(""), kContentTypeLimit);
    } else {
        for (std::string* text : {out.rawHeaders, out.statusText, out.contentType})
            if (text != nullptr)
                text->clear();
    }
    if (exchange != ResultCode::Success) {
        // A server's error page says what went wrong; the caller logs it. Hand over what
        // the server sent (bounded), while the result stays the failure.
        if (scheme != UrlScheme::Ftp && transfer.StatusCode() > 0) {
            std::size_t length = 0;
            body.resize(kErrorPageLimit);
            while (length < kErrorPageLimit) {
                const http::ReadResult page =
                    transfer.Read(body.data() + length, kErrorPageLimit - length);
                if (page.bytes == 0)
                    break;
                length += page.bytes;
            }
            body.resize(length);
            body.push_back(0);
            if (out.bodyLength != nullptr)
                *out.bodyLength = length;
        }
        return result_ = exchange;
    }

    ReportStatus(callback, MyNet_InternetReadFile, nullptr);
    ReportStatus(callback, MyNet_DebugInfo, TimeLine("Read start:").c_str());

    const std::size_t chunk = smallReadChunks_ ? kSmallChunk : kLargeChunk;
    std::size_t declared = 0;
    if (const auto header = transfer.Header("Content-Length");
        header && !EqualsNoCase(transfer.Verb(), "HEAD")) {
        const unsigned long long claim = std::strtoull(header->c_str(), nullptr, 10);
        declared = static_cast<std::size_t>(
            std::min<unsigned long long>(claim, std::numeric_limits<std::size_t>::max() / 2));
    }
    std::vector<std::uint8_t> probe;
    std::size_t length = 0;
    http::ReadResult read;
    for (;;) {
        std::size_t room = body.capacity() > length + 1 ? body.capacity() - length - 1 : 0;
        if (declared > length) {
            // The block grows while it is still small (at least doubling each time, or at
            // once to the whole claim once that is believable), so an honest large body is
            // copied only early and then filled in place.
            const std::size_t wanted =
                std::min(declared, std::max(kTrustedClaim, length * kClaimPerArrived)) + 1;
            if (wanted > body.capacity() &&
                (room < chunk || wanted == declared + 1 || wanted >= 2 * body.capacity())) {
                body.reserve(wanted);
                AdviseLargeBlock(body.data(), body.capacity());
            }
        } else if (room < chunk && (declared == 0 || length > declared)) {
            body.reserve(std::max(length + chunk + 1, body.capacity() + body.capacity() / 2));
        }
        room = body.capacity() > length + 1 ? body.capacity() - length - 1 : 0;
        std::size_t got = 0;
        if (room > 0) {
            const std::size_t want = std::min(chunk, room);
            body.resize(length + want);
            read = transfer.Read(body.data() + length, want);
            got = read.bytes;
            body.resize(length + got);
        } else {
            // The declared length has arrived; this read only confirms the end.
            probe.resize(std::min(chunk, kSmallChunk));
            read = transfer.Read(probe.data(), probe.size());
            got = read.bytes;
            body.insert(body.end(), probe.begin(),
                        probe.begin() + static_cast<std::ptrdiff_t>(got));
        }
        if (got == 0)
            break;
        length += got;
        if (callback != nullptr) {
            ReportStatus(callback, MyNet_Download,
                         Printf("%d", static_cast<long long>(got)).c_str());
            ReportStatus(callback, MyNet_DebugInfo, TimeLine("").c_str());
        }
    }
    body.push_back(0);  // uncounted terminator of a network body
    if (out.bodyLength != nullptr)
        *out.bodyLength = length;
    ReportStatus(callback, MyNet_DebugInfo, TimeLine("Read end:").c_str());

    if (const auto modified = transfer.LastModified()) {
        std::tm utc{};
        const std::time_t t = *modified;
        if (gmtime_r(&t, &utc) != nullptr) {
            NetFileTime record{static_cast<std::uint16_t>(utc.tm_year + 1900),
                               static_cast<std::uint16_t>(utc.tm_mon + 1),
                               static_cast<std::uint16_t>(utc.tm_wday),
                               static_cast<std::uint16_t>(utc.tm_mday),
                               static_cast<std::uint16_t>(utc.tm_hour),
                               static_cast<std::uint16_t>(utc.tm_min),
                               static_cast<std::uint16_t>(utc.tm_sec),
                               0};
            ReportFileTime(callback, record);
        }
    }

    // A body cut short is returned as far as it came, but the transfer counts as failed.
    if (read.failed) {
        in.lastError = read.errorNumber;
        ReportStatus(callback, MyNet_Error,
                     (read.message + Printf(" (error code = %i)", read.errorNumber)).c_str());
        return result_ = ResultCode::ServerError;
    }
    return result_ = ResultCode::Success;
}

void IntConn::ReportFileTime(NetStatusCallback callback, const NetFileTime& record) {
    if (callback != nullptr) {
        NetFileTime copy = record;
        callback(MyNet_HttpFileTime, reinterpret_cast<char*>(&copy), callbackContext_);
        return;
    }
    // The log gets the record as readable text rather than its raw bytes.
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", record.year, record.month,
                  record.day, record.hour, record.minute, record.second);
    ReportStatus(nullptr, MyNet_HttpFileTime, text);
}

ResultCode DownloadUrl(void* parentWindow, const char* url, const char* userName,
                       const char* password, const char* proxyServer, const char* proxyUser,
                       const char* proxyPassword, const ResponseOut& out, unsigned flags,
                       void* callbackContext, NetStatusCallback callback) {
    std::unique_ptr<IntConn> conn;
    try {
        conn = std::make_unique<IntConn>();
    } catch (const std::exception&) {
        return ResultCode::Failed;
    }
    RunCookieStep(url, callbackContext, callback);
    if (!conn->Open(parentWindow, url, userName, password, proxyServer, proxyUser, proxyPassword,
                    flags, callbackContext, callback)) {
        conn->ReportStatus(callback, MyNet_ConnectigFailed, nullptr);
        return ResultCode::Failed;
    }
    if (conn->ReadResponse(out, callback) == ResultCode::Success) {
        conn->ReportStatus(callback, MyNet_Download_OK, nullptr);
        return ResultCode::Success;
    }
    conn->ReportStatus(callback, MyNet_DownloadingFailed, nullptr);
    conn->ReportStatus(callback, MyNet_Download_ERROR, nullptr);
    return ResultCode::Failed;
}

}  // namespace quillbox::net
