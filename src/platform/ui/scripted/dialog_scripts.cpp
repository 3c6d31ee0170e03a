#include "platform/ui/scripted/dialog_scripts.h"

#include <utility>

namespace quillbox::ui::script {

namespace {

std::string_view IconName(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return "information";
        case BoxIcon::Warning:
            return "warning";
        case BoxIcon::Error:
            return "error";
        case BoxIcon::Question:
            return "question";
    }
    return "information";
}

std::optional<BoxAnswer> AnswerFromName(std::string_view name) {
    for (BoxAnswer answer : {BoxAnswer::Ok, BoxAnswer::Cancel, BoxAnswer::Yes, BoxAnswer::No}) {
        if (AnswerName(answer) == name) {
            return answer;
        }
    }
    return std::nullopt;
}

std::vector<BoxAnswer> ButtonsOf(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return {BoxAnswer::Ok};
        case BoxButtons::OkCancel:
            return {BoxAnswer::Ok, BoxAnswer::Cancel};
        case BoxButtons::YesNo:
            return {BoxAnswer::Yes, BoxAnswer::No};
    }
    return {BoxAnswer::Ok};
}

const std::string& ButtonText(const BoxButtonTexts& texts, BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return texts.ok;
        case BoxAnswer::Cancel:
            return texts.cancel;
        case BoxAnswer::Yes:
            return texts.yes;
        case BoxAnswer::No:
            return texts.no;
    }
    return texts.ok;
}

std::string TextOf(const nlohmann::json& entry, const char* key) {
    const auto found = entry.find(key);
    return found != entry.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A secret taken out of the entry, whose copy is wiped on the way.
secret::SecretText SecretOf(nlohmann::json& entry, const char* key) {
    const auto found = entry.find(key);
    return found != entry.end() && found->is_string()
               ? secret::SecretText::TakeFrom(found->get_ref<std::string&>())
               : secret::SecretText();
}

// "ok"/"cancel" (or "yes"/"no") entries: whether the entry says the first; problem when
// it says neither.
bool Affirms(const nlohmann::json& entry, const char* yes, const char* no, Plan& plan) {
    const auto named = entry.find("answer");
    if (named != entry.end() && *named == yes) {
        return true;
    }
    if (named == entry.end() || *named != no) {
        plan.problem = std::string("scripted answer is neither \"") + yes + "\" nor \"" + no + "\"";
    }
    return false;
}

}  // namespace

std::string_view AnswerName(BoxAnswer answer) {
    switch (answer) {
        case BoxAnswer::Ok:
            return "ok";
        case BoxAnswer::Cancel:
            return "cancel";
        case BoxAnswer::Yes:
            return "yes";
        case BoxAnswer::No:
            return "no";
    }
    return "ok";
}

BoxPlan PlanMessageBox(AnswerScript& script, const MessageBoxRequest& box) {
    BoxPlan plan;
    plan.answer = DefaultAnswerOf(box);
    const nlohmann::json entry = script.NextAnswer(kMessageBox);
    if (entry.is_null()) {
        return plan;
    }
    const auto named = entry.find("answer");
    std::optional<BoxAnswer> chosen;
    if (named != entry.end() && named->is_string()) {
        chosen = AnswerFromName(named->get_ref<const std::string&>());
    }
    if (chosen && BoxOffers(box.buttons, *chosen)) {
        plan.answer = *chosen;
        plan.scripted = true;
    } else {
        // A wrong entry is used up, so one mistake does not shift every later answer.
        plan.problem = "scripted answer " +
                       (named != entry.end() ? named->dump() : std::string("(none)")) +
                       " is not a button of this box";
    }
    return plan;
}

nlohmann::json MessageBoxLine(const MessageBoxRequest& seen, BoxAnswer answer, bool scripted) {
    nlohmann::json line = {{"dialog", kMessageBox},
                           {"icon", IconName(seen.icon)},
                           {"caption", seen.caption},
                           {"texts", nlohmann::json::array({seen.text})}};
    nlohmann::json buttons = nlohmann::json::array();
    nlohmann::json buttonTexts = nlohmann::json::object();
    for (BoxAnswer button : ButtonsOf(seen.buttons)) {
        buttons.push_back(AnswerName(button));
        if (const std::string& text = ButtonText(seen.buttonTexts, button); !text.empty()) {
            buttonTexts[std::string(AnswerName(button))] = text;
        }
    }
    line["buttons"] = std::move(buttons);
    if (!buttonTexts.empty()) {
        line["buttonTexts"] = std::move(buttonTexts);
    }
    line["default"] = AnswerName(DefaultAnswerOf(seen));
    line["answer"] = AnswerName(answer);
    line["scripted"] = scripted;
    return line;
}

PinPlan PlanPin(AnswerScript& script, const PinDialogRequest& request) {
    PinPlan plan;
    nlohmann::json entry = script.NextAnswer(kPinDialog);
    plan.scripted = !entry.is_null();
    if (plan.scripted && Affirms(entry, "ok", "cancel", plan)) {
        plan.pin = SecretOf(entry, "pin");
        plan.confirm = request.Accepts(plan.pin.view());
        if (!plan.confirm) {
            plan.problem = "the scripted PIN is not accepted by this dialog";
        }
    }
    return plan;
}

nlohmann::json PinLine(const PinDialogRequest& seen, bool confirmed, bool scripted) {
    return {{"dialog", kPinDialog},
            {"caption", seen.caption},
            {"token", seen.tokenLabel},
            {"texts", nlohmann::json::array({seen.prompt})},
            {"certificate", seen.certificate},
            {"warnings", seen.warnings},
            {"canEnter", seen.canEnter},
            {"answer", confirmed ? "ok" : "cancel"},
            {"scripted", scripted}};
}

CredentialsPlan PlanCredentials(AnswerScript& script, const CredentialsRequest& request) {
    CredentialsPlan plan;
    nlohmann::json entry = script.NextAnswer(kCredentials);
    plan.scripted = !entry.is_null();
    if (plan.scripted && Affirms(entry, "ok", "cancel", plan)) {
        plan.userName = entry.contains("user") ? TextOf(entry, "user") : request.userName;
        plan.password = SecretOf(entry, "password");
        plan.confirm = request.Accepts(plan.userName);
        if (!plan.confirm) {
            plan.problem = "the scripted user name is not accepted by this dialog";
        }
    }
    return plan;
}

nlohmann::json CredentialsLine(const CredentialsRequest& seen, const std::string& userName,
                               bool confirmed, bool scripted) {
    return {{"dialog", kCredentials},
            {"caption", seen.caption},
            {"texts", nlohmann::json::array({seen.prompt})},
            {"user", confirmed ? userName : std::string()},
            {"answer", confirmed ? "ok" : "cancel"},
            {"scripted", scripted}};
}

void LoginPlan::Note(const std::string& note) {
    problem += (problem.empty() ? "" : "; ") + note;
}

LoginPlan PlanLogin(AnswerScript& script, const LoginRequest& request) {
    LoginPlan plan;
    nlohmann::json entry = script.NextAnswer(kLogin);
    plan.scripted = !entry.is_null();
    if (!plan.scripted) {
        return plan;
    }
    // Without "answer" the entry means OK: it says what to type.
    plan.confirm = !entry.contains("answer") || Affirms(entry, "ok", "cancel", plan);
    if (!plan.confirm) {
        // A cancel types nothing; whatever the entry holds goes.
        for (const char* name : {"password", "code"}) {
            if (const auto found = entry.find(name); found != entry.end() && found->is_string()) {
                secret::WipeString(found->get_ref<std::string&>());
            }
        }
        return plan;
    }
    // The value a person could type into that field, in the entry; null when there is none.
    auto typed = [&](const char* name, const LoginField& field) -> std::string* {
        const auto found = entry.find(name);
        if (found == entry.end() || !found->is_string()) {
            return nullptr;
        }
        std::string& value = found->get_ref<std::string&>();
        if (!field.shown || !field.enabled) {
            plan.Note(std::string("the ") + name + " field cannot be typed in; left as it was");
            secret::WipeString(value);
            return nullptr;
        }
        if (const std::size_t fits = LoginPrefixBytes(value, request.maxChars);
            fits < value.size()) {
            plan.Note(std::string("the ") + name + " field refused the characters after the " +
                      std::to_string(request.maxChars) + "th");
            secret::WipeBytes(value.data() + fits, value.size() - fits);
            value.resize(fits);
        }
        return &value;
    };
    if (const std::string* user = typed("user", request.user)) {
        plan.user = *user;
    }
    if (std::string* password = typed("password", request.password)) {
        plan.password = secret::SecretText::TakeFrom(*password);
    }
    if (std::string* code = typed("code", request.code)) {
        plan.code = secret::SecretText::TakeFrom(*code);
    }
    return plan;
}

nlohmann::json LoginLine(const LoginRequest& seen, const LoginFieldsSeen& fields, bool confirmed,
                         bool scripted) {
    auto field = [](const LoginField& shown, std::string text) {
        return nlohmann::json{
            {"text", std::move(text)}, {"shown", shown.shown}, {"enabled", shown.enabled}};
    };
    nlohmann::json texts = nlohmann::json::array({seen.serverLine});
    if (!seen.serverMessage.empty()) {
        texts.push_back(seen.serverMessage);
    }
    return {{"dialog", kLogin},
            {"caption", seen.caption},
            {"texts", std::move(texts)},
            {"fields",
             {{"user", field(seen.user, fields.user)},
              {"password", field(seen.password, std::string(fields.passwordChars, '*'))},
              {"code", field(seen.code, std::string(fields.codeChars, '*'))}}},
            {"ok", seen.okText},
            {"answer", confirmed ? "ok" : "cancel"},
            {"scripted", scripted}};
}

WarningPlan PlanCertificateWarning(AnswerScript& script) {
    WarningPlan plan;
    const nlohmann::json entry = script.NextAnswer(kCertWarning);
    plan.scripted = !entry.is_null();
    plan.goOn = plan.scripted && Affirms(entry, "yes", "no", plan);
    return plan;
}

nlohmann::json CertificateWarningLine(const CertificateWarningRequest& seen, bool goOn,
                                      bool scripted) {
    return {{"dialog", kCertWarning},
            {"caption", seen.caption},
            {"texts", nlohmann::json::array({seen.problem, seen.question})},
            {"host", seen.host},
            {"answer", goOn ? "yes" : "no"},
            {"scripted", scripted}};
}

nlohmann::json ViewerLine(AnswerScript& script, const CertificateViewRequest& seen) {
    const bool scripted = !script.NextAnswer(kViewer).is_null();
    nlohmann::json fields = nlohmann::json::object();
    for (const auto& [name, value] : seen.fields) {
        fields[name] = value;
    }
    return {{"dialog", kViewer}, {"caption", seen.caption}, {"fields", std::move(fields)},
            {"pem", seen.pem},   {"answer", "close"},       {"scripted", scripted}};
}

std::chrono::milliseconds WaitNotes::Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 created_);
}

void WaitNotes::Shown() {
    if (!shownAfter_) {
        shownAfter_ = Elapsed();
        shownAt_ = LocalTimestamp();
    }
}

void WaitNotes::Progress(int position) {
    if (updates_ > 0 && position < lastPosition_) {
        ++restarts_;
    }
    lastPosition_ = position;
    ++updates_;
}

nlohmann::json WaitNotes::Line(const WaitDialogRequest& seen) const {
    nlohmann::json line = {{"dialog", kWaitDialog},
                           {"caption", seen.caption},
                           {"texts", nlohmann::json::array({seen.text})},
                           {"shown", shownAfter_.has_value()}};
    if (shownAfter_) {
        line["shownAt"] = shownAt_;
        line["shownAfterMs"] = shownAfter_->count();
        line["progressUpdates"] = updates_;
        line["lastProgress"] = lastPosition_;
        line["restarts"] = restarts_;
    }
    line["openMs"] = Elapsed().count();
    return line;
}

}  // namespace quillbox::ui::script
