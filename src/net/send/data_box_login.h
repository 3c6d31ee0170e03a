// The data-box login step the request loop runs when a data-box exchange meets a 401: read
// the challenge and the server's message, ask the person, and put the answer on the request.
// Also the pieces it is made of, each a rule of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/send/login_dialog.h"
#include "net/transfer/server_auth_steps.h"
#include "platform/secret/secret_text.h"

namespace quillbox::net {

// The scheme a WWW-Authenticate value names, by its first 100 bytes: kSchemeNoChallenge
// without a header, kSchemeUnknown for a scheme of another kind.
int ChallengeScheme(const std::optional<std::string>& header);

// The server's words from X-Response-message-text: each "=?UTF-8?B?...?=" encoded word
// decoded and joined; text outside encoded words is not used. At most 1,048 characters.
std::string DecodeServerMessage(std::string_view text);

// "Authorization: Basic " + Base64 of user ":" password code (the code, when given, follows
// the password directly).
secret::SecretText BasicAuthorization(std::string_view user, std::string_view password,
                                      std::string_view code);

// The step itself. Handled: new credentials are on the request; Cancelled: the person
// cancelled, or the challenge names no scheme the dialog can answer.
StepAnswer RunDataBoxLogin(IntConn& connection, NetStatusCallback callback);

}  // namespace quillbox::net
