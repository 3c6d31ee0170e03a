// What a page asks of its control through the extension, and the answers.
//
// Request: {"id": N, "method": "ExecuteUrl", "args": ["https://..."], "origin": "https://..."}
// Answer:  {"id": N, "status": S} plus the method's out value: "result" (SetLanguage),
//          "response" (ExecuteUrl) or "text" (GetLogFileInfo, GetVersion).
// A request that cannot be served: {"id": N, "error": "..."}, with "id" null when the
// request carried no usable id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "control/form_filler.h"

namespace quillbox::host {

// The control's methods, in slot order.
enum class Method { SetLanguage, ExecuteUrl, SetDebug, GetLogFileInfo, GetVersion };

struct HostRequest {
    nlohmann::json id;  // an integer
    Method method = Method::GetVersion;
    std::string text;   // SetLanguage, ExecuteUrl
    bool flag = false;  // SetDebug
    std::string origin;
};

struct ParsedRequest {
    std::optional<HostRequest> request;  // set when it can be served
    nlohmann::json error;                // the error answer otherwise
};

ParsedRequest ParseRequest(std::string_view body);

// The error answer for a request that was not even read (too large, say).
nlohmann::json ErrorAnswer(const nlohmann::json& id, const std::string& message);

// Calls the control; on the thread that owns the dialogs.
nlohmann::json ServeRequest(control::IFormFiller& control, const HostRequest& request);

}  // namespace quillbox::host
