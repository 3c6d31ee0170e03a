// The client-certificate step of a send: the certificate a server gets when it asks for
// one, chosen by the person once per URL key and then remembered for the control's life.
#pragma once

#include "net/transfer/int_conn.h"
#include "net/transfer/server_auth_steps.h"
#include "signing/engine/certificate_store.h"

namespace quillbox::net {

// Handled: a certificate is installed on the connection, send again. Cancelled: the person
// cancelled the dialog. NotHandled: no control's map (a download), no token store, or the
// certificate cannot be used; the loop then fails with the server's refusal.
StepAnswer RunClientCertificateStep(IntConn& connection, const signing::TokenStoreOpener& open);

// After a successful exchange: the certificate chosen in it is remembered for its key.
void RememberClientCertificate(IntConn& connection);

}  // namespace quillbox::net
