// The Cryptoki declarations, from p11-kit's header. Only the PKCS #11 layer and the test token
// fixture include this; everything above them talks to token_store.h.
#pragma once

#include <p11-kit/pkcs11.h>
