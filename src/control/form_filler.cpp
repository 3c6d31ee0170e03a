#include "control/form_filler.h"

#include <chrono>

#include "control/task_services.h"
#include "core/globals.h"
#include "core/identity.h"
#include "core/messages/messages.h"

namespace quillbox::control {

CFormFiller::CFormFiller() : CFormFiller(MakeTaskServices()) {}

CFormFiller::CFormFiller(TaskServices services) {
    const auto start = std::chrono::steady_clock::now();
    // The banner is the first use of the log, which decides whether it writes a file.
    CGlobals::Get().LogText(LogLevel::File, nullptr, BannerLine());
    processor_ = std::make_unique<TaskProcessor>(std::move(services));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    QB_LOG(LogLevel::File, nullptr, "Initialization (ms): %d", static_cast<int>(elapsed.count()));
}

CFormFiller::~CFormFiller() = default;

std::int32_t CFormFiller::SetLanguage(const std::string& language, std::int16_t& result) {
    QB_LOG(LogLevel::File, nullptr, "Set language: %s", language.c_str());
    result = quillbox::SetLanguage(language) ? 1 : 0;
    return 0;
}

std::int32_t CFormFiller::ExecuteUrl(const std::string& url, std::string& response) {
    return processor_->ExecuteTask(url, response);
}

std::int32_t CFormFiller::SetDebug(std::int16_t on) {
    QB_LOG(LogLevel::File, nullptr, "Set debug: %s", on != 0 ? "true" : "false");
    CGlobals::Get().SetDebugFlag(on != 0);
    return 0;
}

std::int32_t CFormFiller::GetLogFileInfo(std::string& text) {
    text = "Log File: " + CGlobals::Get().GetLogFileInfo();
    return 0;
}

std::int32_t CFormFiller::GetVersion(std::string& text) {
    text = std::string(kPluginVersion);
    return 0;
}

}  // namespace quillbox::control
