#include "platform/ui/scripted/file_scripts.h"

#include <filesystem>
#include <system_error>

namespace quillbox::ui::script {

OpenFilePlan PlanOpenFile(AnswerScript& script) {
    OpenFilePlan plan;
    const nlohmann::json entry = script.NextAnswer(kOpenFile);
    plan.scripted = !entry.is_null();
    if (!plan.scripted || entry.value("answer", "") == "cancel") {
        return plan;
    }
    const auto path = entry.find("path");
    if (path == entry.end() || !path->is_string() || path->get_ref<const std::string&>().empty()) {
        plan.problem = "scripted answer has neither a \"path\" nor \"answer\": \"cancel\"";
        return plan;
    }
    std::error_code error;
    const std::filesystem::path absolute =
        std::filesystem::absolute(path->get<std::string>(), error);
    plan.path = error ? path->get<std::string>() : absolute.string();
    plan.choose = true;
    return plan;
}

nlohmann::json OpenFileLine(const OpenFileRequest& seen, const OpenFileAnswer& answer,
                            bool scripted) {
    return {{"dialog", kOpenFile},
            {"caption", seen.caption},
            {"path", answer.chosen ? answer.path : std::string()},
            {"answer", answer.chosen ? "ok" : "cancel"},
            {"scripted", scripted}};
}

}  // namespace quillbox::ui::script
