#include "signing/engine/module_choice.h"

#include <cstdlib>

#include "core/registry.h"

namespace quillbox::signing {

std::string ConfiguredModulePath() {
    if (const char* fromEnvironment = std::getenv(kModuleEnvironmentVariable);
        fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    std::string fromSetting;
    if (ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, &fromSetting, nullptr,
                          kModuleSettingName) &&
        !fromSetting.empty()) {
        return fromSetting;
    }
    return QUILLBOX_P11KIT_PROXY;
}

}  // namespace quillbox::signing
