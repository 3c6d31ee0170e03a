// What the request task leaves for the PFX task of the same control, and the buffers the
// key-pair library hands out.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/secret/secret_text.h"

namespace quillbox::enroll {

// A buffer from the key-pair library (malloc'd), freed with free.
struct FreeBuffer {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using LibraryBuffer = std::unique_ptr<T, FreeBuffer>;

// The key the state holds: its public key (DER), enough to tell whether a certificate
// belongs to it; the private key stays encrypted in the key text.
using PublicKey = std::vector<std::uint8_t>;

struct EnrollState {
    // Replaced together, and only by a request that succeeded.
    secret::SecretText keyPassword;
    secret::SecretText privateKeyText;  // encrypted PEM, as in the key file
    PublicKey heldKey;                  // empty: none held
    std::string commonName;
    std::string requestText;

    std::string certificateText;  // the last certificates a PFX task brought
    std::string savedPfxPath;     // blocks a second PFX until the next request

    void ReleaseKey() {
        keyPassword.Wipe();
        privateKeyText.Wipe();
        heldKey.clear();
    }
};

// The encrypted key's public part, or nothing: status is the library's KEYFORGE_* outcome.
PublicKey ReadPublicKey(const secret::SecretText& password, const secret::SecretText& keyText,
                        int& status);

// The most significant 32-bit word of the key's modulus; 0 when it cannot be read.
std::uint32_t ModulusWord(const PublicKey& key);

}  // namespace quillbox::enroll
