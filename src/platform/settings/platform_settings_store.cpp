#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>

#include "platform/settings/settings_store.h"
#include "platform/system/ascii_case.h"

namespace quillbox::settings {

namespace {

std::atomic<SettingsStore*> g_store{nullptr};

}  // namespace

std::uint32_t TlsProtocolsOffered() {
    // A fresh client context carries the machine's OpenSSL configuration
    // (MinProtocol and friends), which is what a connection would negotiate.
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                          &SSL_CTX_free);
    if (!ctx) {
        return 0;
    }
    long lowest = SSL_CTX_get_min_proto_version(ctx.get());
    long highest = SSL_CTX_get_max_proto_version(ctx.get());
    if (lowest == 0)
        lowest = TLS1_VERSION;
    if (highest == 0)
        highest = TLS1_3_VERSION;
    struct Bit {
        long version;
        std::uint32_t bit;
    };
    constexpr Bit kBits[] = {{TLS1_VERSION, kProtocolTls10},
                             {TLS1_1_VERSION, kProtocolTls11},
                             {TLS1_2_VERSION, kProtocolTls12},
                             {TLS1_3_VERSION, kProtocolTls13}};
    std::uint32_t bits = 0;
    for (const Bit& b : kBits) {
        if (b.version >= lowest && b.version <= highest) {
            bits |= b.bit;
        }
    }
    return bits;
}

std::optional<Value> PlatformSettingsStore::Read(Root root, std::string_view keyPath,
                                                 std::string_view name) const {
    std::optional<Value> stored = inner_.Read(root, keyPath, name);
    if (!stored && root == Root::CurrentUser && EqualsNoCase(keyPath, kInternetSettingsKey) &&
        EqualsNoCase(name, kSecureProtocolsName)) {
        return Value{TlsProtocolsOffered()};
    }
    return stored;
}

bool PlatformSettingsStore::Write(Root root, std::string_view keyPath, std::string_view name,
                                  const Value& value, std::string* why) {
    return inner_.Write(root, keyPath, name, value, why);
}

SettingsStore& CurrentSettingsStore() {
    if (SettingsStore* store = g_store.load()) {
        return *store;
    }
    static IniSettingsStore files;
    static PlatformSettingsStore platform(files);
    return platform;
}

void SetSettingsStore(SettingsStore* store) {
    g_store.store(store);
}

}  // namespace quillbox::settings
