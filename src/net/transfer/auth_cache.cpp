#include "net/transfer/auth_cache.h"

#include <algorithm>
#include <cctype>
#include "net/transfer/url_parts.h"
#include "platform/secret/secret_text.h"
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

bool InDomain(std::string_view host, std::string_view domain) {
    if (!domain.empty() && domain.front() == '.')
        domain.remove_prefix(1);
    if (domain.empty() || host.size() < domain.size())
        return false;
    if (host.size() == domain.size())
        return EqualsNoCase(host, domain);
    return EqualsNoCase(host.substr(host.size() - domain.size()), domain) &&
           host[host.size() - domain.size() - 1] == '.';
}

bool Matches(std::string_view key, std::string_view text, AuthCache::Lookup mode) {
    switch (mode) {
        case AuthCache::Lookup::Substring:
            return text.find(key) != std::string_view::npos;
        case AuthCache::Lookup::Domain:
            return InDomain(text, key);
        case AuthCache::Lookup::Exact:
            break;
    }
    return EqualsNoCase(key, text);
}

}  // namespace

AuthCache::AuthCache() = default;

// Values are credentials (a Basic header, a session cookie): overwritten before they go.
void AuthCache::Wipe(std::optional<std::string>& value) {
    if (value)
        secret::WipeString(*value);
    value.reset();
}

AuthCache::~AuthCache() {
    std::lock_guard guard(lock_);
    for (auto& slot : slots_)
        Wipe(slot.value);
}

void AuthCache::Put(std::string_view key, std::optional<std::string_view> value) {
    if (key.empty())
        return;
    std::lock_guard guard(lock_);
    Slot* freeSlot = nullptr;
    for (auto& slot : slots_) {
        if (slot.key.empty()) {
            if (freeSlot == nullptr)
                freeSlot = &slot;
            continue;
        }
        if (!EqualsNoCase(slot.key, key))
            continue;
        // The key keeps the form in which it was first written.
        if (slot.value && value && *slot.value == *value)
            return;
        Wipe(slot.value);
        slot.value = value ? std::optional<std::string>(*value) : std::nullopt;
        return;
    }
    if (freeSlot == nullptr)
        return;  // full: the first ten keys stay for the process's life
    freeSlot->key = std::string(key);
    freeSlot->value = value ? std::optional<std::string>(*value) : std::nullopt;
}

std::optional<std::string> AuthCache::Get(std::string_view text, Lookup mode) const {
    if (text.empty())
        return std::nullopt;
    std::lock_guard guard(lock_);
    for (const auto& slot : slots_) {
        if (slot.key.empty())
            continue;
        if (Matches(slot.key, text, mode))
            return slot.value;
    }
    return std::nullopt;
}

AuthCache& CookieCache() {
    static AuthCache cache;
    return cache;
}

AuthCache& AuthorizationCache() {
    static AuthCache cache;
    return cache;
}

void RememberCookie(std::string_view domain, std::string_view cookiePart) {
    CookieCache().Put(domain, cookiePart);
}

std::optional<std::string> CookieForUrl(std::string_view url) {
    return CookieCache().Get(HostNameOf(CompleteScheme(url)), AuthCache::Lookup::Domain);
}

void RememberAuthorization(std::string_view url, std::string_view headerLine) {
    AuthorizationCache().Put(url, headerLine);
}

std::optional<std::string> AuthorizationForUrl(std::string_view url) {
    return AuthorizationCache().Get(url, AuthCache::Lookup::Exact);
}

}  // namespace quillbox::net
