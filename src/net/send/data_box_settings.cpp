#include "net/send/data_box_settings.h"

#include <algorithm>
#include <optional>
#include <variant>

#include "core/registry.h"
#include "platform/settings/settings_store.h"
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

// A list setting: entries separated by blanks, commas or semicolons; the defaults when
// the value is missing or holds no entry.
std::vector<std::string> ListSetting(const char* name, std::vector<std::string> defaults) {
    const std::optional<settings::Value> value = settings::CurrentSettingsStore().Read(
        settings::Root::LocalMachine, kPluginSettingsKey, name);
    const std::string* text = value ? std::get_if<std::string>(&*value) : nullptr;
    if (text == nullptr)
        return defaults;
    std::vector<std::string> entries;
    std::string entry;
    for (const char c : *text + " ") {
        if (c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\r' || c == '\n') {
            if (!entry.empty())
                entries.push_back(LowerAscii(entry));
            entry.clear();
        } else {
            entry += c;
        }
    }
    return entries.empty() ? defaults : entries;
}

}  // namespace

std::vector<std::string> DataBoxHosts() {
    return ListSetting("DataBoxHosts", {"ws1.mojedatovaschranka.cz", "ws1.czebox.cz"});
}

std::vector<std::string> DataBoxDomainSuffixes() {
    std::vector<std::string> suffixes =
        ListSetting("DataBoxDomains", {".mojedatovaschranka.cz", ".czebox.cz", ".czechpoint.cz"});
    for (auto& suffix : suffixes)
        if (suffix.front() != '.')
            suffix.insert(suffix.begin(), '.');
    return suffixes;
}

bool IsDataBoxHost(const std::string& host) {
    const std::vector<std::string> hosts = DataBoxHosts();
    return std::any_of(hosts.begin(), hosts.end(),
                       [&](const std::string& known) { return EqualsNoCase(known, host); });
}

}  // namespace quillbox::net
