// The private-key password dialog of the enrollment tasks: which fields it shows and what OK
// accepts. The window comes through the dialog seam (ui::UserInterface::AskPassword).
#pragma once

#include <string_view>

#include "platform/secret/secret_text.h"
#include "platform/ui/user_interface.h"

namespace quillbox::enroll {

// Characters a field takes: the 49 a password has always been allowed.
inline constexpr std::size_t kPasswordFieldChars = 49;

class CPasswordDlg {
  public:
    enum Mode : int {
        kNewPassword = 0,       // password and confirmation; printable ASCII only
        kExistingPassword = 2,  // the password of a key that exists; any characters
    };
    enum Result : int { kOk = 0, kCancel = 1 };

    explicit CPasswordDlg(Mode mode) : mode_(mode) {}

    ui::PasswordRequest Request() const;
    // The message that refuses these fields, 0 when OK accepts them.
    int Refusal(std::string_view password, std::string_view confirmation) const;

    // Shows the dialog until it is accepted or cancelled; a refusal is logged and shown in
    // an error box over the dialog, which stays open. Returns the result.
    int DoModal();
    int Result() const { return result_; }
    // The accepted password; the caller takes it.
    secret::SecretText& Password() { return password_; }

  private:
    Mode mode_;
    int result_ = kOk;
    secret::SecretText password_;
};

}  // namespace quillbox::enroll
