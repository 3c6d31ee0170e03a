// The settings store: the per-user and machine-wide configuration values the plug-in
// remembers (last certificates chosen, display options, install folders). Keys are
// backslash-separated paths and, like the values' names, compared without regard to
// ASCII letter case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quillbox::settings {

enum class Root { CurrentUser, LocalMachine };

using Value = std::variant<std::string, std::uint32_t>;  // text or 32-bit number

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual std::optional<Value> Read(Root root, std::string_view keyPath,
                                      std::string_view name) const = 0;
    // Creates the key when missing; false when the store cannot be written, and then
    // *why (when given) says what failed, for the log.
    virtual bool Write(Root root, std::string_view keyPath, std::string_view name,
                       const Value& value, std::string* why = nullptr) = 0;
};

// INI files: the current user's in $XDG_CONFIG_HOME (default ~/.config), the machine's
// in the first folder of $XDG_CONFIG_DIRS (default /etc/xdg), each "quillbox/settings.ini".
// One section per key path, one "name=sz:text" or "name=dword:0000000a" line per value.
// A write changes only its own value, under a lock shared with other processes, and
// replaces the file whole; a file it cannot read or understand is left alone.
class IniSettingsStore final : public SettingsStore {
  public:
    IniSettingsStore();  // folders from the environment at construction
    IniSettingsStore(std::string userFile, std::string machineFile);

    std::optional<Value> Read(Root root, std::string_view keyPath,
                              std::string_view name) const override;
    bool Write(Root root, std::string_view keyPath, std::string_view name, const Value& value,
               std::string* why = nullptr) override;

    const std::string& FileOf(Root root) const;

  private:
    std::string userFile_;
    std::string machineFile_;
};

// The key and value through which the platform's TLS protocol switches are read.
inline constexpr std::string_view kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr std::string_view kSecureProtocolsName = "SecureProtocols";
// Protocol bits of that value.
inline constexpr std::uint32_t kProtocolTls10 = 0x80;
inline constexpr std::uint32_t kProtocolTls11 = 0x200;
inline constexpr std::uint32_t kProtocolTls12 = 0x800;
inline constexpr std::uint32_t kProtocolTls13 = 0x2000;

// The protocol bits of the TLS versions the TLS library will negotiate, as configured
// on this machine.
std::uint32_t TlsProtocolsOffered();

// A store that answers the secure-protocols question from the TLS library unless the
// wrapped store holds an explicit value; everything else goes to the wrapped store.
class PlatformSettingsStore final : public SettingsStore {
  public:
    explicit PlatformSettingsStore(SettingsStore& inner) : inner_(inner) {}
    std::optional<Value> Read(Root root, std::string_view keyPath,
                              std::string_view name) const override;
    bool Write(Root root, std::string_view keyPath, std::string_view name, const Value& value,
               std::string* why = nullptr) override;

  private:
    SettingsStore& inner_;
};

// The process-wide store: the platform store over the INI files unless a caller (a test,
// a front end) installed another. The caller keeps ownership and resets it with nullptr.
SettingsStore& CurrentSettingsStore();
void SetSettingsStore(SettingsStore* store);

}  // namespace quillbox::settings
