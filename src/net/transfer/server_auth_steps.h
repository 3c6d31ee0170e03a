// The server-authentication steps the request loop calls: the trusted-domain check, the
// client-certificate step, the data-box login step and the cookie deciphering. The
// default answers "not handled" everywhere, so the loop treats those cases as plain errors
// until an implementation is installed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "net/transfer/int_conn.h"

namespace quillbox::net {

enum class StepAnswer { NotHandled, Handled, Cancelled };

class ServerAuthSteps {
  public:
    virtual ~ServerAuthSteps() = default;

    // Host suffixes whose certificate warnings are tolerated when the connection asks for
    // the trusted-domain check.
    virtual std::vector<std::string> TrustedDomainSuffixes() { return {}; }
    // The server asked for a client certificate. Handled: one was installed, send again.
    virtual StepAnswer ClientCertificate(IntConn&) { return StepAnswer::NotHandled; }
    // A data-box exchange answered 401. Handled: new credentials were entered. Reports go
    // through the connection with the callback the loop runs with.
    virtual StepAnswer DataBoxLogin(IntConn&, NetStatusCallback) { return StepAnswer::NotHandled; }
    // The exchange succeeded; remember the certificate chosen in it, if any.
    virtual void ExchangeSucceeded(IntConn&) {}
    // Cookie data marked "cry:" deciphered; nullopt when it cannot be.
    virtual std::optional<std::string> DecipherCookie(const std::string&) { return std::nullopt; }
};

// Never null: without an installed one, the default above. The caller keeps ownership and
// resets it (nullptr) before destroying the object.
ServerAuthSteps& CurrentServerAuthSteps();
void SetServerAuthSteps(ServerAuthSteps* steps);

// The trusted-domain rule: the host (lower-cased) ends with a suffix's first occurrence.
bool IsTrustedDomain(const std::string& host, const std::vector<std::string>& suffixes);

}  // namespace quillbox::net
