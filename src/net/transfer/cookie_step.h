// Before a connection is opened: asks the caller's callback (code 61) for cookie data for the
// URL and puts it into the shared cookie store, so a page's session reaches the server.
#pragma once

#include "net/transfer/int_conn.h"

namespace quillbox::net {

// Does nothing without a callback.
void RunCookieStep(const char* url, void* callbackContext, NetStatusCallback callback);

}  // namespace quillbox::net
