#include "core/task_processor.h"

#include <cerrno>
#include <cstdlib>

#include "core/globals.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"
#include "core/printf_format.h"
#include "core/registry.h"
#include "core/response_builder.h"
#include "core/sign_exception.h"
#include "core/task_envelope.h"
#include "core/utf.h"

namespace quillbox {

namespace {

constexpr std::string_view kOctetStream = "application/octet-stream";
constexpr std::string_view kXhtml = "application/xhtml+xml";

// The HTTP status is the number the status text starts with; 0 without digits.
int StatusCode(const std::string& statusText) {
    std::size_t digits = 0;
    while (digits < statusText.size() && digits < 9 && statusText[digits] >= '0' &&
           statusText[digits] <= '9') {
        ++digits;
    }
    return digits == 0 ? 0 : std::atoi(statusText.substr(0, digits).c_str());
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

TaskProcessor::TaskProcessor(TaskServices services) : services_(std::move(services)) {}

TaskProcessor::~TaskProcessor() = default;

std::int32_t TaskProcessor::ExecuteTask(const std::string& url, std::string& response,
                                        std::optional<ExecuteOptions> options) {
    const ExecuteOptions opts = options.value_or(ExecuteOptions{});
    appResponse_ = opts.appResponse;
    QB_LOG(LogLevel::File, nullptr, "Url: %s", url.c_str());

    try {
        if (opts.documentGiven) {
            return ProcessTaskText(url, response);
        }
        std::string text;
        if (!DownloadTask(url, opts, text)) {
            response.clear();
            return kTaskStatusDownloadFailed;
        }
        return ProcessTaskText(text, response);
    } catch (const CSignException& e) {
        ReportFailure(nullptr, &e);
    } catch (const std::exception& e) {
        ReportFailure(&e, nullptr);
    } catch (...) {
        ReportFailure(nullptr, nullptr);
    }
    return kTaskStatusOk;
}

bool TaskProcessor::DownloadTask(const std::string& url, const ExecuteOptions& options,
                                 std::string& text) {
    DownloadedDocument download =
        services_.downloader->Download(url, msg::kDownloadingRequest, options.showWaitDialog);
    const int status = StatusCode(download.statusText);

    std::uint32_t protocols = 0;
    if (ReadRegistryValue(RegistryRoot::CurrentUser, settings::kInternetSettingsKey, {}, nullptr,
                          &protocols, settings::kSecureProtocolsName)) {
        QB_LOG(LogLevel::File, nullptr, "SecureProtocols: 0x%08x", protocols);
        secureProtocols_ = protocols;
    } else {
        secureProtocols_ = 0;
    }

    if (status == 200 && StartsWith(download.contentType, kOctetStream)) {
        std::optional<std::string> content = services_.messageReader->Content(download.body);
        // Content that is not UTF-8 becomes the empty text, which is then not well-formed.
        text = content ? Utf8ToWide(*content) : std::string();
        return true;
    }

    outcome_.result = TaskResult::Error;
    if ((secureProtocols_ & settings::kProtocolTls12) != 0) {
        const std::string format = LoadMessage(msg::kServerCommunicationError);
        CGlobals::Get().Log(LogLevel::Error, nullptr, "%s",
                            FormatPrintf(format, {download.statusText, download.headers}).c_str());
    } else {
        const std::string format = LoadMessage(msg::kTlsNotEnabled);
        CGlobals::Get().Log(LogLevel::Error, nullptr, "%s",
                            FormatPrintf(format, {"TLS 1.2", "TLS 1.2"}).c_str());
    }
    if (StartsWith(download.contentType, kXhtml)) {
        CGlobals::Get().LogText(LogLevel::File, nullptr, download.body);
    }
    return false;
}

std::int32_t TaskProcessor::ProcessTaskText(const std::string& text, std::string& response) {
    QB_LOG(LogLevel::File, nullptr, "XML: %s", text.c_str());
    if (!LoadTaskDocument(text)) {
        return kTaskStatusNotWellFormed;
    }
    ParseEnvelope();
    Dispatch();
    response = BuildResponse(taskKind_, appResponse_, outcome_, base64_);
    return kTaskStatusOk;
}

bool TaskProcessor::LoadTaskDocument(const std::string& text) {
    taskElement_ = {};
    document_ = xml::XmlDocument::Parse(text);
    return document_ != nullptr;
}

TaskKind TaskProcessor::ParseEnvelope() {
    if (!document_) {
        taskKind_ = TaskKind::None;
        return taskKind_;
    }
    TaskEnvelope envelope = quillbox::ParseEnvelope(*document_);
    if (envelope.taskName) {
        taskName_ = *envelope.taskName;
    }
    if (envelope.docId) {
        docId_ = *envelope.docId;
    }
    if (envelope.responseUrl) {
        responseUrl_ = *envelope.responseUrl;
    }
    taskElement_ = envelope.taskElement;
    taskKind_ = envelope.kind;
    return taskKind_;
}

void TaskProcessor::Dispatch() {
    switch (taskKind_) {
        case TaskKind::GetPluginInfo:
            outcome_.result = TaskResult::Ok;
            return;
        case TaskKind::CheckApp:
            return;
        case TaskKind::ChooseCert:
        case TaskKind::Sign:
        case TaskKind::Attachment:
        case TaskKind::Send:
        case TaskKind::CreateCertRequest:
        case TaskKind::MakePfx:
        case TaskKind::GetPdfArea:
            break;
        default:
            outcome_.result = TaskResult::Error;
            return;
    }
    auto handler = services_.handlers.find(taskKind_);
    if (handler == services_.handlers.end() || !handler->second) {
        // Not available in this build yet: answered as a failed task, never as success.
        QB_LOG(LogLevel::File, nullptr, "Task not available: %s", taskName_.c_str());
        outcome_.result = TaskResult::Error;
        return;
    }
    TaskContext context{taskKind_, *document_, taskElement_, outcome_, base64_};
    handler->second->Run(context);
}

void TaskProcessor::ReportFailure(const std::exception* foreign, const CSignException* own) {
    const int lastError = errno;
    outcome_.result = TaskResult::Error;
    if (own != nullptr) {
        CGlobals::Get().LogText(LogLevel::Error, own, LoadMessage(msg::kError));
        return;
    }
    // A failure from outside the plug-in's own error type: keep its description for
    // the supporter, and show the person the system's view of it.
    QB_LOG(LogLevel::File, nullptr, "Exception: %s",
           foreign != nullptr ? foreign->what() : "unknown");
    const CSignException converted(-1, {}, true, lastError);
    CGlobals::Get().LogText(LogLevel::Error, &converted, LoadMessage(msg::kError));
}

}  // namespace quillbox
