// Which Cryptoki module the certificate store opens.
#pragma once

#include <string>

namespace quillbox::signing {

// The value names of the choice.
inline constexpr const char* kModuleEnvironmentVariable = "QUILLBOX_PKCS11_MODULE";
inline constexpr const char* kModuleSettingName = "Pkcs11Module";

// The environment variable when set and not empty, otherwise the current user's setting
// under the plug-in's settings key, otherwise the p11-kit proxy (every token the user
// configured).
std::string ConfiguredModulePath();

}  // namespace quillbox::signing
