#include "control/host/host_requests.h"

#include <array>

#include "control/host/page_policy.h"
#include "core/globals.h"
#include "core/messages/messages.h"
#include "platform/ui/user_interface.h"

namespace quillbox::host {

namespace {

using nlohmann::json;

enum class Argument { None, Text, Flag };

constexpr int kMsgRequestedBy = 267;

struct MethodInfo {
    Method method;
    std::string_view name;
    Argument argument;
};

constexpr std::array<MethodInfo, 5> kMethods = {{
    {Method::SetLanguage, "SetLanguage", Argument::Text},
    {Method::ExecuteUrl, "ExecuteUrl", Argument::Text},
    {Method::SetDebug, "SetDebug", Argument::Flag},
    {Method::GetLogFileInfo, "GetLogFileInfo", Argument::None},
    {Method::GetVersion, "GetVersion", Argument::None},
}};

const MethodInfo* FindMethod(std::string_view name) {
    for (const MethodInfo& info : kMethods) {
        if (info.name == name) {
            return &info;
        }
    }
    return nullptr;
}

std::string_view NameOf(Method method) {
    for (const MethodInfo& info : kMethods) {
        if (info.method == method) {
            return info.name;
        }
    }
    return "?";
}

ParsedRequest Fail(const json& id, const std::string& message) {
    return {std::nullopt, ErrorAnswer(id, message)};
}

// Text that the pipeline hands on as C strings must not end early at a NUL.
bool HasNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

}  // namespace

json ErrorAnswer(const json& id, const std::string& message) {
    return json{{"id", id}, {"error", message}};
}

ParsedRequest ParseRequest(std::string_view body) {
    json request = json::parse(body, nullptr, false);
    if (request.is_discarded()) {
        return Fail(nullptr, "request is not valid JSON");
    }
    if (!request.is_object()) {
        return Fail(nullptr, "request is not a JSON object");
    }
    auto id = request.find("id");
    if (id == request.end() || !id->is_number_integer()) {
        return Fail(nullptr, "request has no \"id\" (an integer)");
    }
    auto method = request.find("method");
    if (method == request.end() || !method->is_string()) {
        return Fail(*id, "request has no \"method\" (text)");
    }
    const MethodInfo* info = FindMethod(method->get_ref<const std::string&>());
    if (info == nullptr) {
        return Fail(*id, "unknown method \"" + method->get<std::string>() +
                             "\"; known: SetLanguage, ExecuteUrl, SetDebug, GetLogFileInfo, "
                             "GetVersion");
    }
    const std::string name(info->name);
    auto origin = request.find("origin");
    if (origin == request.end() || !origin->is_string() ||
        origin->get_ref<const std::string&>().empty()) {
        return Fail(*id, "request has no \"origin\" (the page's origin as text)");
    }
    HostRequest out;
    out.id = *id;
    out.method = info->method;
    out.origin = origin->get<std::string>();
    if (HasNul(out.origin)) {
        return Fail(*id, "\"origin\" contains a NUL character");
    }

    json args = json::array();
    if (auto given = request.find("args"); given != request.end()) {
        if (!given->is_array()) {
            return Fail(*id, "\"args\" must be a list");
        }
        args = *given;
    }
    const std::size_t wanted = info->argument == Argument::None ? 0 : 1;
    if (args.size() != wanted) {
        return Fail(*id, name + " takes " + std::to_string(wanted) + " argument" +
                             (wanted == 1 ? "" : "s") + ", got " + std::to_string(args.size()));
    }
    switch (info->argument) {
        case Argument::None:
            break;
        case Argument::Text:
            if (!args[0].is_string()) {
                return Fail(*id, "the argument of " + name + " must be text");
            }
            out.text = args[0].get<std::string>();
            if (HasNul(out.text)) {
                return Fail(*id, "the argument of " + name + " contains a NUL character");
            }
            break;
        case Argument::Flag:
            if (!args[0].is_boolean()) {
                return Fail(*id, "the argument of " + name + " must be true or false");
            }
            out.flag = args[0].get<bool>();
            break;
    }
    return {std::move(out), nullptr};
}

json ServeRequest(control::IFormFiller& control, const HostRequest& request) {
    const std::string method(NameOf(request.method));
    QB_LOG(LogLevel::File, nullptr, "Call %s from page %s", method.c_str(), request.origin.c_str());
    if (!OriginAllowed(request.origin, AllowedOriginsSetting())) {
        QB_LOG(LogLevel::File, nullptr, "Refused: page %s is not allowed (AllowedOrigins)",
               request.origin.c_str());
        return ErrorAnswer(request.id, "the page " + request.origin +
                                           " may not use Quillbox on this computer (its "
                                           "administrator's list AllowedOrigins does not name it)");
    }
    if (request.method == Method::ExecuteUrl) {
        if (const std::optional<std::string> refused = RefusedPageUrl(request.text)) {
            QB_LOG(LogLevel::File, nullptr, "Refused ExecuteUrl from page %s: %s",
                   request.origin.c_str(), refused->c_str());
            return ErrorAnswer(request.id, "ExecuteUrl: " + *refused);
        }
    }
    const ui::ScopedRequester requester(
        FormatMessageText(kMsgRequestedBy, {OriginForPerson(request.origin)}));
    json answer = {{"id", request.id}};
    std::int32_t status = 0;
    switch (request.method) {
        case Method::SetLanguage: {
            std::int16_t result = 0;
            status = control.SetLanguage(request.text, result);
            answer["result"] = result;
            break;
        }
        case Method::ExecuteUrl: {
            std::string response;
            status = control.ExecuteUrl(request.text, response);
            answer["response"] = std::move(response);
            break;
        }
        case Method::SetDebug:
            status = control.SetDebug(request.flag ? 1 : 0);
            break;
        case Method::GetLogFileInfo: {
            std::string text;
            status = control.GetLogFileInfo(text);
            answer["text"] = std::move(text);
            break;
        }
        case Method::GetVersion: {
            std::string text;
            status = control.GetVersion(text);
            answer["text"] = std::move(text);
            break;
        }
    }
    answer["status"] = status;
    return answer;
}

}  // namespace quillbox::host
