// What the request loop asks the person when a server's certificate has a problem or a
// server or proxy wants credentials: the texts in the person's language and how the
// answer is read. The dialogs themselves come through the dialog seam.
#pragma once

#include <optional>
#include <string>

#include "platform/http/transfer.h"
#include "platform/ui/user_interface.h"

namespace quillbox::net {

// The certificate warning for this problem and host; nullopt for a transport error that
// is no certificate problem.
std::optional<ui::CertificateWarningRequest> CertificateWarningFor(http::TransferError error,
                                                                   const std::string& host);

// The credentials dialog of a server (401) or a proxy (407).
ui::CredentialsRequest CredentialsRequestFor(const std::string& host, bool proxy,
                                             const std::string& knownUserName);

}  // namespace quillbox::net
