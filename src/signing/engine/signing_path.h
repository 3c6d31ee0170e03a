// Which of the two signing paths a token takes for an algorithm.
//   Legacy: the token hashes and signs (CKM_<hash>_RSA_PKCS); in raw mode it signs the
//     DigestInfo of the given digest, after the digest length was checked.
//   Key storage: the token signs only prepared blocks (CKM_RSA_PKCS); the data is hashed
//     here and wrapped in a DigestInfo, or in raw mode signed as given.
#pragma once

#include <optional>
#include <set>

#include "platform/pkcs11/token_store.h"
#include "signing/engine/algorithms.h"

namespace quillbox::signing {

enum class SigningPath { Legacy, KeyStorage };

pkcs11::Mechanism HashAndSignMechanism(HashKind hash);

// hash: the algorithm's hash, or in raw mode the named hash; nothing for raw mode without
// a hash. A token that hashes for the algorithm takes the legacy path; one that only signs
// prepared blocks the key-storage path. Without a hash, a token that hashes at all counts as
// legacy (where raw mode needs a hash). Nothing: the token cannot sign this at all.
std::optional<SigningPath> ChooseSigningPath(const std::set<pkcs11::Mechanism>& offered,
                                             std::optional<HashKind> hash);

}  // namespace quillbox::signing
