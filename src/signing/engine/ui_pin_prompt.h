// PIN prompts through the dialog seam, with the token's name and warnings in the user's
// language.
#pragma once

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

// The dialog a question becomes.
ui::PinDialogRequest BuildPinDialog(const pkcs11::PinQuestion& question);

class UiPinPrompt final : public pkcs11::PinPrompt {
  public:
    std::optional<secret::SecretText> AskPin(const pkcs11::PinQuestion& question) override;
};

}  // namespace quillbox::signing
