#include "net/send/send_handler.h"

#include <cstring>
#include <exception>
#include <string>

#include "core/base64/base64_coder.h"
#include "core/globals.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"
#include "core/sign_exception.h"
#include "net/send/data_box_settings.h"
#include "net/send/page_headers.h"
#include "net/send/send_auth_steps.h"
#include "net/send/send_driver.h"
#include "net/transfer/status_report.h"
#include "net/transfer/url_parts.h"

namespace quillbox::net {
namespace {

constexpr unsigned kSendFlags = 210;  // system proxy, no credential headers, POST
constexpr unsigned kGetVerb = 2000;
constexpr std::int32_t kServerErrorCode = -20;

// What the driver's callback needs of this send; carried with the call so that two sends
// on two threads never see each other's login type.
struct SendCall {
    std::string loginType;
};

void OnStatus(int code, char* text, void* context) {
    const auto* call = static_cast<const SendCall*>(context);
    if (code == MyNet_GetISDSAuth) {
        if (text != nullptr) {
            const std::size_t n = std::min(call->loginType.size(), kAuthTypeBufferSize - 1);
            std::memcpy(text, call->loginType.data(), n);
            text[n] = '\0';
        }
        return;
    }
    if (code == MyNet_AddCookie)
        return;  // no cookie data of the page's: the buffer stays as it is
    if (code == MyNet_HttpFileTime && text != nullptr) {
        NetFileTime time{};
        std::memcpy(&time, text, sizeof time);
        char line[64];
        std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u", time.year, time.month,
                      time.day, time.hour, time.minute, time.second);
        CGlobals::Get().LogText(LogLevel::File, nullptr, FormatStatusLine(code, line));
        return;
    }
    CGlobals::Get().LogText(LogLevel::File, nullptr, FormatStatusLine(code, text));
}

// The host the error message names: after "://" up to the first "/", port included.
std::string HostForMessage(const std::string& url) {
    const auto scheme = url.find("://");
    const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    return url.substr(start, url.find('/', start) - start);
}

// Pretty-printed documents break their Base64 into lines.
std::string WithoutWhiteSpace(const std::string& text) {
    std::string packed;
    packed.reserve(text.size());
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            packed += c;
    return packed;
}

TaskResult TaskResultOf(ResultCode code) {
    switch (code) {
        case ResultCode::Success:
            return TaskResult::Ok;
        case ResultCode::Cancelled:
            return TaskResult::Cancel;
        default:
            return TaskResult::Error;
    }
}

}  // namespace

void SendHandler::Run(TaskContext& task) {
    // Whatever stops this send early answers as an error without an earlier send's data.
    task.outcome.result = TaskResult::Error;
    task.outcome.sendRetcode.clear();
    task.outcome.sendHeaders.clear();
    task.outcome.sendBody.clear();

    const xml::XmlNode send = task.document.SelectFirst("//send");
    if (!send) {
        QB_LOG(LogLevel::File, nullptr, "Send: no send element");
        return;
    }
    const std::optional<std::string> url = send.Attribute("url");
    if (!url) {
        QB_LOG(LogLevel::File, nullptr, "Send: no url");
        return;
    }
    QB_LOG(LogLevel::File, nullptr, "URL: %s", MaskedUrl(*url).c_str());
    const std::string host = HostForMessage(*url);
    const std::optional<std::string> headers = send.Attribute("headers");
    if (!headers) {
        QB_LOG(LogLevel::File, nullptr, "Send: no headers");
        return;
    }
    QB_LOG(LogLevel::File, nullptr, "Headers: %s", MaskedHeaders(*headers).c_str());
    std::string method = send.Attribute("method").value_or("");
    if (method.empty())
        method = "POST";
    QB_LOG(LogLevel::File, nullptr, "HTTP Method: %s", method.c_str());
    SendCall call;
    call.loginType = send.Attribute("loginType").value_or("");
    if (call.loginType.empty())
        call.loginType = "basic";
    QB_LOG(LogLevel::File, nullptr, "Login type: %s", call.loginType.c_str());

    const std::string text = WithoutWhiteSpace(send.Text());
    if (text.empty()) {
        QB_LOG(LogLevel::File, nullptr, "Send: no data");
        return;
    }
    const std::vector<std::uint8_t> body = task.base64.DecodeToBytes(text.c_str());

    SendRequest request;
    request.url = *url;
    request.data = body.data();
    request.length = body.size();
    request.extraHeaders = CleanPageHeaders(*headers);
    request.flags = kSendFlags + (method == "GET" ? kGetVerb : 0);
    request.clientCertMap = &clientCertMap_;
    request.callbackContext = &call;
    request.callback = &OnStatus;
    // The first send to a service host once carried placeholder credentials for another
    // platform's transport; here they would reach the server as a failed login.
    if (firstSend_ && IsDataBoxHost(HostNameOf(CompleteScheme(*url))))
        QB_LOG(LogLevel::File, nullptr, "First send to a data-box service host");

    SendResponse response;
    ResultCode result = ResultCode::Failed;
    try {
        result = RunSendDriver(request, response);
    } catch (const CSignException&) {
        task.outcome.result = TaskResult::Error;
        throw;
    } catch (const std::exception& e) {
        task.outcome.result = TaskResult::Error;
        QB_LOG(LogLevel::File, nullptr, "Send: %s", e.what());
        throw CSignException(-1, {}, false);
    }

    if (result == ResultCode::ServerError) {
        task.outcome.result = TaskResult::Error;
        throw CSignException(kServerErrorCode, FormatMessageText(msg::kLoginFailed, {host}), false);
    }
    if (result != ResultCode::Cancelled)
        firstSend_ = false;
    task.outcome.result = TaskResultOf(result);
    if (result != ResultCode::Success)
        return;
    task.outcome.sendRetcode = response.statusText;
    task.outcome.sendHeaders = response.rawHeaders;
    task.outcome.sendBody =
        task.base64
            .EncodeToString(response.body.data(), static_cast<std::uint32_t>(response.bodyLength))
            .value_or("");
}

void AddSendTaskHandler(HandlerTable& handlers, const signing::TokenStoreOpener& openTokens) {
    InstallSendAuthSteps(openTokens);
    handlers[TaskKind::Send] = std::make_unique<SendHandler>();
}

}  // namespace quillbox::net
