// The token store over a Cryptoki module loaded at run time.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/pkcs11/token_store.h"

namespace quillbox::pkcs11 {

struct TokenStoreOptions {
    std::string modulePath;  // file name or path for dlopen
    // Tokens named here (by label) may be used only with the listed mechanisms, as if the
    // token offered no others. Lets a token that hashes on board stand in for one that
    // signs only prepared blocks.
    std::map<std::string, std::set<Mechanism>> mechanismLimits{};
};

// Loads the module (once per process), lists its initialised tokens and their certificates.
// Never logs in to list. Throws TokenError: LoadModule / Initialize when the module is not
// usable, List when its slots cannot be read.
std::unique_ptr<TokenStore> OpenCryptokiTokenStore(const TokenStoreOptions& options);

// The same, done when called: what a front end hands to the signature engine.
inline std::function<std::unique_ptr<TokenStore>()> CryptokiOpener(TokenStoreOptions options) {
    return [options = std::move(options)] { return OpenCryptokiTokenStore(options); };
}

}  // namespace quillbox::pkcs11
