// The certificate viewer as a transcript line.
#include <utility>

#include "platform/ui/scripted/scripted_user_interface.h"

namespace quillbox::ui {

void ScriptedUserInterface::ShowCertificate(const CertificateViewRequest& request) {
    constexpr std::string_view kViewer = "certificate";
    // A script may hold an entry for the viewer; there is nothing to answer, it is only used up.
    const bool scripted = !NextAnswer(kViewer).is_null();
    nlohmann::json fields = nlohmann::json::object();
    for (const auto& [name, value] : request.fields) {
        fields[name] = value;
    }
    Record({{"dialog", kViewer},
            {"caption", request.caption},
            {"fields", std::move(fields)},
            {"pem", request.pem},
            {"answer", "close"},
            {"scripted", scripted}});
}

}  // namespace quillbox::ui
