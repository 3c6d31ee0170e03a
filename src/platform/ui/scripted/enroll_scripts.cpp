#include "platform/ui/scripted/enroll_scripts.h"

#include <filesystem>
#include <utility>

namespace quillbox::ui::script {
namespace {

// The part of a value a field of maxChars characters takes; the rest is wiped and noted.
secret::SecretText Typed(nlohmann::json& entry, const char* key, std::size_t maxChars, Plan& plan) {
    const auto found = entry.find(key);
    if (found == entry.end() || !found->is_string()) {
        return {};
    }
    std::string& value = found->get_ref<std::string&>();
    if (const std::size_t fits = LoginPrefixBytes(value, maxChars); fits < value.size()) {
        plan.problem += std::string(plan.problem.empty() ? "" : "; ") + "the " + key +
                        " field refused the characters after the " + std::to_string(maxChars) +
                        "th";
        secret::WipeBytes(value.data() + fits, value.size() - fits);
        value.resize(fits);
    }
    return secret::SecretText::TakeFrom(value);
}

}  // namespace

PasswordPlan PlanPassword(AnswerScript& script, const PasswordRequest& request) {
    PasswordPlan plan;
    nlohmann::json entry = script.NextAnswer(kPassword);
    plan.scripted = !entry.is_null();
    if (!plan.scripted) {
        return plan;
    }
    const bool cancel = entry.value("answer", "") == "cancel";
    nlohmann::json attempts = nlohmann::json::array();
    if (entry.contains("attempts")) {
        attempts = std::move(entry["attempts"]);
    } else {
        attempts.push_back(std::move(entry));
    }
    for (nlohmann::json& attempt : attempts) {
        if (!attempt.is_object()) {
            plan.problem = "an attempt is not an object";
            continue;
        }
        PasswordAttempt typed{Typed(attempt, "password", request.maxChars, plan),
                              Typed(attempt, "confirm", request.maxChars, plan)};
        if (!attempt.contains("confirm")) {
            typed.confirmation = secret::SecretText(typed.password.view());
        }
        if (!request.confirmShown) {
            typed.confirmation.Wipe();
        }
        if (!cancel) {
            plan.attempts.push_back(std::move(typed));
        }
    }
    return plan;
}

nlohmann::json PasswordLine(const PasswordRequest& seen, std::size_t attempts, bool confirmed,
                            bool scripted) {
    nlohmann::json texts = nlohmann::json::array({seen.passwordLabel});
    if (seen.confirmShown) {
        texts.push_back(seen.confirmLabel);
    }
    return {{"dialog", kPassword},  {"caption", seen.caption},
            {"texts", texts},       {"buttons", {seen.okText, seen.cancelText}},
            {"attempts", attempts}, {"answer", confirmed ? "ok" : "cancel"},
            {"scripted", scripted}};
}

SaveFilePlan PlanSaveFile(AnswerScript& script, const SaveFileRequest& request) {
    SaveFilePlan plan;
    const nlohmann::json entry = script.NextAnswer(kSaveFile);
    plan.scripted = !entry.is_null();
    if (!plan.scripted) {
        return plan;
    }
    const std::string answer = entry.value("answer", "");
    if (answer == "fail") {
        plan.outcome = SaveFileOutcome::Failed;
    } else if (entry.contains("path") && entry["path"].is_string()) {
        std::filesystem::path path = std::filesystem::absolute(entry["path"].get<std::string>());
        if (!path.has_extension() && !request.defaultSuffix.empty()) {
            path += "." + request.defaultSuffix;
        }
        plan.outcome = SaveFileOutcome::Chosen;
        plan.path = path.string();
    } else if (answer != "cancel") {
        plan.problem = "scripted answer has no \"path\" and is neither \"cancel\" nor \"fail\"";
    }
    return plan;
}

nlohmann::json SaveFileLine(const SaveFileRequest& seen, const SaveFileAnswer& answer,
                            bool scripted) {
    nlohmann::json filters = nlohmann::json::array();
    for (const SaveFileFilter& filter : seen.filters) {
        filters.push_back(filter.name);
    }
    static constexpr const char* kOutcomes[] = {"ok", "cancel", "failed"};
    return {{"dialog", kSaveFile}, {"caption", seen.caption},
            {"filters", filters},  {"suffix", seen.defaultSuffix},
            {"path", answer.path}, {"answer", kOutcomes[static_cast<int>(answer.outcome)]},
            {"scripted", scripted}};
}

}  // namespace quillbox::ui::script
