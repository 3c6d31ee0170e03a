// The certificate warning and the credentials dialog answered from the script.
#include <utility>

#include "platform/ui/scripted/scripted_user_interface.h"

namespace quillbox::ui {

namespace {
constexpr std::string_view kCertWarning = "certwarning";
constexpr std::string_view kCredentials = "credentials";
}  // namespace

bool ScriptedUserInterface::AskContinueDespiteCertificate(
    const CertificateWarningRequest& request) {
    bool goOn = false;
    std::string problem;
    const nlohmann::json entry = NextAnswer(kCertWarning);
    const bool scripted = !entry.is_null();
    if (scripted) {
        const auto named = entry.find("answer");
        if (named != entry.end() && *named == "yes") {
            goOn = true;
        } else if (named == entry.end() || *named != "no") {
            problem = "scripted answer is neither \"yes\" nor \"no\"";
        }
    }
    nlohmann::json record = {{"dialog", kCertWarning},
                             {"caption", request.caption},
                             {"texts", nlohmann::json::array({request.problem, request.question})},
                             {"host", request.host},
                             {"answer", goOn ? "yes" : "no"},
                             {"scripted", scripted}};
    Record(std::move(record), problem);
    return goOn;
}

CredentialsAnswer ScriptedUserInterface::AskCredentials(const CredentialsRequest& request) {
    CredentialsAnswer answer;
    std::string problem;
    nlohmann::json entry = NextAnswer(kCredentials);
    const bool scripted = !entry.is_null();
    if (scripted) {
        const auto named = entry.find("answer");
        auto text = [&entry](const char* key) {
            const auto found = entry.find(key);
            return found != entry.end() && found->is_string() ? found->get<std::string>()
                                                              : std::string();
        };
        if (named != entry.end() && *named == "ok") {
            std::string user = entry.contains("user") ? text("user") : request.userName;
            if (request.Accepts(user)) {
                answer.confirmed = true;
                answer.userName = std::move(user);
                if (auto password = entry.find("password");
                    password != entry.end() && password->is_string()) {
                    answer.password =
                        secret::SecretText::TakeFrom(password->get_ref<std::string&>());
                }
            } else {
                problem = "the scripted user name is not accepted by this dialog";
            }
        } else if (named == entry.end() || *named != "cancel") {
            problem = "scripted answer is neither \"ok\" nor \"cancel\"";
        }
    }
    nlohmann::json record = {{"dialog", kCredentials},
                             {"caption", request.caption},
                             {"texts", nlohmann::json::array({request.prompt})},
                             {"user", answer.userName},
                             {"answer", answer.confirmed ? "ok" : "cancel"},
                             {"scripted", scripted}};
    Record(std::move(record), problem);
    return answer;
}

}  // namespace quillbox::ui
