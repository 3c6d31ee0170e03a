// The data-box login server stand-in (databox_test_server.py): one account, logins with one-time
// codes by HOTP or SMS, Basic and Digest, the session cookie, and a record of every request.
// Clients reach it by names under .localhost, which resolve to 127.0.0.1 without a hosts file.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "net/servers/test_servers.h"

namespace quillbox::test {

inline constexpr const char* kDataBoxUser = "jana.novakova";
inline constexpr const char* kDataBoxPassword = "Heslo-Žluťoučký-1";  // UTF-8
inline constexpr const char* kDataBoxHotpCode = "123456";
inline constexpr const char* kDataBoxSmsCode = "654321";
inline constexpr const char* kDataBoxCookieName = "IPCZ-X-COOKIE";
inline constexpr const char* kDataBoxCookieDomain = ".box.localhost";
inline constexpr const char* kDataBoxLoginHost = "login.box.localhost";
inline constexpr const char* kDataBoxServiceHost = "service.box.localhost";
// Outside the cookie's domain.
inline constexpr const char* kDataBoxOtherHost = "other.localhost";

class DataBoxTestServer {
  public:
    int port() const { return server_.port(); }
    // "http://<host>:<port>/<pathAndQuery>"; a leading "/" of pathAndQuery is not doubled.
    std::string Url(const std::string& host, const std::string& pathAndQuery) const;
    // Every request since the start or the last Reset(), oldest first (see the script's
    // /__seen for the fields).
    nlohmann::json Seen() const;
    void Reset() const;

  private:
    std::string Get(const std::string& path) const;
    ScriptServer server_{"databox_test_server.py"};
};

}  // namespace quillbox::test
