// PIN prompts through the dialog seam, with the token's name and warnings in the user's
// language.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/pkcs11/token_store.h"
#include "platform/ui/user_interface.h"

namespace quillbox::signing {

// Message numbers of the PIN dialog.
inline constexpr int kMsgPinCaption = 250;
inline constexpr int kMsgPinPrompt = 251;
inline constexpr int kMsgPinWrong = 252;
inline constexpr int kMsgPinCountLow = 253;
inline constexpr int kMsgPinFinalTry = 254;
inline constexpr int kMsgPinLocked = 255;
inline constexpr int kMsgPinForSignature = 256;
inline constexpr int kMsgPinCertificate = 266;

// The dialog a question becomes; certificateName is the certificate's display name, as
// the certificate dialog lists it (empty: the dialog names no certificate).
ui::PinDialogRequest BuildPinDialog(const pkcs11::PinQuestion& question,
                                    std::string_view certificateName = {});

class UiPinPrompt final : public pkcs11::PinPrompt {
  public:
    // certificateName: the certificate about to sign, as for BuildPinDialog.
    explicit UiPinPrompt(std::string certificateName = {})
        : certificateName_(std::move(certificateName)) {}
    std::optional<secret::SecretText> AskPin(const pkcs11::PinQuestion& question) override;

  private:
    std::string certificateName_;
    // From the first question to the end of the signature: one window for every question.
    std::unique_ptr<ui::PinDialogSession> session_;
};

}  // namespace quillbox::signing
