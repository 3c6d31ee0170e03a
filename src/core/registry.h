// Reading and writing the plug-in's remembered values with the rules callers rely on:
// an optional subkey appended to the key path, text or 32-bit values, a read limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/settings/settings_store.h"

namespace quillbox {

using RegistryRoot = settings::Root;

// The plug-in's own key under the current user's root.
inline constexpr std::string_view kPluginSettingsKey =
    "Software\\Kestrelsoft\\Quillbox Signing Extension\\Settings";

// Text values take at most this many bytes in UTF-16 with their terminating NUL;
// a longer value is not read.
inline constexpr std::size_t kRegistryReadLimitBytes = 260;

// True when the value exists and was delivered: a 32-bit value through dwordOut, a text
// through textOut (the out for the value's type must be given).
bool ReadRegistryValue(RegistryRoot root, std::string_view keyPath, std::string_view subkey,
                       std::string* textOut, std::uint32_t* dwordOut, std::string_view name);

// False only when the key cannot be created or written.
bool WriteRegistryValue(RegistryRoot root, std::string_view keyPath, std::string_view subkey,
                        const settings::Value& value, std::string_view name);

}  // namespace quillbox
