// The PIN dialog answered from the script.
#include <utility>

#include "platform/ui/scripted/scripted_user_interface.h"

namespace quillbox::ui {

namespace {
constexpr std::string_view kPinDialog = "pin";
}

PinDialogAnswer ScriptedUserInterface::AskPin(const PinDialogRequest& request) {
    PinDialogAnswer answer;
    std::string problem;
    nlohmann::json entry = NextAnswer(kPinDialog);
    const bool scripted = !entry.is_null();
    if (scripted) {
        const auto named = entry.find("answer");
        const auto pin = entry.find("pin");
        if (named != entry.end() && *named == "ok") {
            // Taken out of the script's entry, which is wiped on the way.
            secret::SecretText typed =
                pin != entry.end() && pin->is_string()
                    ? secret::SecretText::TakeFrom(pin->get_ref<std::string&>())
                    : secret::SecretText();
            if (request.Accepts(typed.view())) {
                answer.confirmed = true;
                answer.pin = std::move(typed);
            } else {
                problem = "the scripted PIN is not accepted by this dialog";
            }
        } else if (named == entry.end() || *named != "cancel") {
            problem = "scripted answer is neither \"ok\" nor \"cancel\"";
        }
    }
    nlohmann::json record = {{"dialog", kPinDialog},
                             {"caption", request.caption},
                             {"token", request.tokenLabel},
                             {"texts", nlohmann::json::array({request.prompt})},
                             {"certificate", request.certificate},
                             {"warnings", request.warnings},
                             {"canEnter", request.canEnter},
                             {"answer", answer.confirmed ? "ok" : "cancel"},
                             {"scripted", scripted}};
    Record(std::move(record), problem);
    return answer;
}

}  // namespace quillbox::ui
