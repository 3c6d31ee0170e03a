#include "core/registry.h"

#include "core/globals.h"
#include "core/utf.h"

namespace quillbox {

namespace {

std::string FullPath(std::string_view keyPath, std::string_view subkey) {
    std::string path(keyPath);
    if (!subkey.empty()) {
        path += '\\';
        path += subkey;
    }
    return path;
}

}  // namespace

bool ReadRegistryValue(RegistryRoot root, std::string_view keyPath, std::string_view subkey,
                       std::string* textOut, std::uint32_t* dwordOut, std::string_view name) {
    std::optional<settings::Value> value =
        settings::CurrentSettingsStore().Read(root, FullPath(keyPath, subkey), name);
    if (!value) {
        return false;
    }
    if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        if (dwordOut == nullptr) {
            return false;
        }
        *dwordOut = *number;
        return true;
    }
    const std::string& text = std::get<std::string>(*value);
    if (textOut == nullptr || (Utf8ToUtf16(text).size() + 1) * 2 > kRegistryReadLimitBytes) {
        return false;
    }
    *textOut = text;
    return true;
}

bool WriteRegistryValue(RegistryRoot root, std::string_view keyPath, std::string_view subkey,
                        const settings::Value& value, std::string_view name) {
    const std::string path = FullPath(keyPath, subkey);
    std::string why;
    if (settings::CurrentSettingsStore().Write(root, path, name, value, &why)) {
        return true;
    }
    QB_LOG(LogLevel::File, nullptr, "Settings: cannot write %s\\%s: %s", path.c_str(),
           std::string(name).c_str(), why.c_str());
    return false;
}

}  // namespace quillbox
