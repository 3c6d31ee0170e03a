#include "signing/engine/ui_pin_prompt.h"

#include <utility>

#include "core/identity.h"
#include "core/messages/messages.h"

namespace quillbox::signing {

namespace {
constexpr int kMsgOk = 112;
constexpr int kMsgCancel = 119;
}  // namespace

ui::PinDialogRequest BuildPinDialog(const pkcs11::PinQuestion& question,
                                    std::string_view certificateName) {
    const pkcs11::TokenStatus& token = question.token;
    ui::PinDialogRequest request;
    request.caption = BoxCaption(LoadMessage(kMsgPinCaption));
    request.tokenLabel = token.label;
    request.prompt = FormatMessageText(kMsgPinPrompt, {token.label});
    if (!certificateName.empty()) {
        request.certificate = FormatMessageText(kMsgPinCertificate, {certificateName});
    }
    if (question.forSignature) {
        request.warnings.push_back(LoadMessage(kMsgPinForSignature));
    }
    if (question.afterWrongPin) {
        request.warnings.push_back(LoadMessage(kMsgPinWrong));
    }
    // The strongest warning only: "final try" implies "count low".
    if (token.pinLocked) {
        request.warnings.push_back(LoadMessage(kMsgPinLocked));
    } else if (token.pinFinalTry) {
        request.warnings.push_back(LoadMessage(kMsgPinFinalTry));
    } else if (token.pinCountLow) {
        request.warnings.push_back(LoadMessage(kMsgPinCountLow));
    }
    request.canEnter = !token.pinLocked;
    request.minLength = token.minPinLength;
    request.maxLength = token.maxPinLength;
    request.okText = LoadMessage(kMsgOk);
    request.cancelText = LoadMessage(kMsgCancel);
    return request;
}

std::optional<secret::SecretText> UiPinPrompt::AskPin(const pkcs11::PinQuestion& question) {
    const ui::PinDialogRequest request = BuildPinDialog(question, certificateName_);
    ui::UserInterface& ui = ui::CurrentUserInterface();
    if (!session_) {
        session_ = ui.KeepPinDialog();
    }
    ui::PinDialogAnswer answer = ui.AskPin(request);
    if (!answer.confirmed || !request.Accepts(answer.pin.view())) {
        return std::nullopt;
    }
    return std::move(answer.pin);
}

}  // namespace quillbox::signing
