// The login dialog of a data-box exchange: what it shows for each challenge scheme (which
// fields, their prefills, the button's text, where the focus starts) and what OK does with
// the fields. The window itself comes through the dialog seam (ui::UserInterface::AskLogin).
#pragma once

#include <string>

#include "platform/secret/secret_text.h"
#include "platform/ui/user_interface.h"

namespace quillbox::net {

// The scheme of the last authentication challenge.
enum AuthScheme : int {
    kSchemeNoChallenge = -2,
    kSchemeUnknown = -1,
    kSchemeBasic = 0,
    kSchemeDigest = 1,
    kSchemeHotp = 2,
    kSchemeTotpSendSms = 3,
    kSchemeTotp = 4,
};

// Most characters (UTF-8 characters, not bytes) a field of the dialog takes.
inline constexpr std::size_t kLoginFieldChars = 100;

class CLoginDlg {
  public:
    // url: the request's URL, whose host (without "http(s)://", cut at the first "/") the
    // server line names; serverMessage: the server's decoded words (UTF-8), may be empty.
    CLoginDlg(std::string url, int authScheme, std::string serverMessage, bool isProxy);

    // The dialog as it opens, prefilled with the name and password known so far.
    ui::LoginRequest Request(const std::string& userName, const secret::SecretText& password) const;

    // Shows the dialog. OK: each field that is not empty replaces userName, password or
    // code (cut to kLoginFieldChars characters), and true is returned; a field left empty
    // keeps what was there. Cancel: false, nothing changed.
    bool DoModal(std::string& userName, secret::SecretText& password, secret::SecretText& code);

  private:
    std::string url_;
    int authScheme_;
    std::string serverMessage_;
    bool isProxy_;
};

}  // namespace quillbox::net
