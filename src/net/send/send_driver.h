// The send driver: one send of a page's data with the data-box login state machine. A
// data-box login runs as login exchanges (POST without a body, redirects handed back) until
// the service redirects to where the data goes; each redirect continues on a new connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/transfer/int_conn.h"

namespace quillbox::net {

// Answers of the login-type query (status code 62).
enum LoginState : int {
    kLoginNotDataBox = -1,
    kLoginBasic = 0,
    kLoginCert = 1,
    kLoginToken = 2,
    kLoginSms = 3,
    kLoginSmsCode = 4,  // after the SMS was sent
};

// "basic" or empty 0, "cert" 1, "token" 2, "sms" 3 (letter case ignored), else -1.
int LoginStateFromText(std::string_view text);

struct SendRequest {
    std::string url;
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    std::string extraHeaders;  // CR LF separated lines
    unsigned flags = 210;
    ClientCertMap* clientCertMap = nullptr;
    const char* userName = nullptr;
    const char* password = nullptr;
    // Asked for the login type (code 62) and told every step.
    void* callbackContext = nullptr;
    NetStatusCallback callback = nullptr;
};

struct SendResponse {
    std::vector<std::uint8_t> body;  // followed by an uncounted zero byte
    std::size_t bodyLength = 0;
    std::string rawHeaders;
    std::string statusText;
    std::string contentType;
};

ResultCode RunSendDriver(const SendRequest& request, SendResponse& response);

}  // namespace quillbox::net
