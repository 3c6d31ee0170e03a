// Small pieces of login state remembered for the life of the process (never on disk), so a
// later connection can present them without asking again: the data-box cookie by domain and
// the Basic authorization header by URL.
#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace quillbox::net {

class AuthCache {
  public:
    static constexpr std::size_t kSlots = 10;
    // Domain: the text is a host name, and a slot matches when the host is its key (a leading
    // "." dropped) or ends with "." + key, letter case ignored: a cookie's domain rule.
    enum class Lookup { Exact, Substring, Domain };

    AuthCache();
    virtual ~AuthCache();
    AuthCache(const AuthCache&) = delete;
    AuthCache& operator=(const AuthCache&) = delete;

    // Ignored for an empty key. A key equal to a stored one (letter case ignored) replaces
    // that value; a new key takes the first free slot, or is dropped when all are used.
    // A null value is stored as such.
    void Put(std::string_view key, std::optional<std::string_view> value);

    // The value of the first slot (in slot order) that matches: Exact, its key equals the text
    // ignoring letter case; Substring, its key occurs in the text (letter case significant);
    // Domain, as above.
    // nullopt for an empty text, no match, or a match holding no value.
    std::optional<std::string> Get(std::string_view text, Lookup mode) const;

  private:
    struct Slot {
        std::string key;  // empty: free
        std::optional<std::string> value;
    };
    static void Wipe(std::optional<std::string>& value);

    mutable std::recursive_mutex lock_;
    std::array<Slot, kSlots> slots_;
};

// The two process-wide caches.
AuthCache& CookieCache();         // key: cookie domain, value: "IPCZ-X-COOKIE=..." part
AuthCache& AuthorizationCache();  // key: URL, value: "Authorization: Basic ..." line

void RememberCookie(std::string_view domain, std::string_view cookiePart);
// Only for a host inside the cookie's domain: a URL that merely mentions the domain
// somewhere (in its path or query) gets nothing.
std::optional<std::string> CookieForUrl(std::string_view url);
void RememberAuthorization(std::string_view url, std::string_view headerLine);
std::optional<std::string> AuthorizationForUrl(std::string_view url);

}  // namespace quillbox::net
