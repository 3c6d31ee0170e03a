#include "net/transfer/cookie_step.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "net/transfer/server_auth_steps.h"
#include "net/transfer/url_parts.h"
#include "platform/http/transfer.h"

namespace quillbox::net {

void RunCookieStep(const char* url, void* callbackContext, NetStatusCallback callback) {
    if (callback == nullptr || url == nullptr)
        return;
    // Runs before Open, so the connection does not know the context yet.
    auto report = [&](const std::string& text) {
        std::string copy = text;
        callback(MyNet_DebugInfo, copy.data(), callbackContext);
    };
    std::string buffer(kAddCookieBufferSize, '\0');
    const std::size_t urlLength = std::min(std::strlen(url), kAddCookieBufferSize - 1);
    std::memcpy(buffer.data(), url, urlLength);
    callback(MyNet_AddCookie, buffer.data(), callbackContext);
    // The callback may write anywhere in the buffer; its text ends at the first zero.
    buffer.resize(std::strlen(buffer.c_str()));
    if (buffer.empty() || buffer == std::string_view(url, urlLength)) {
        report("AppAccPar neni k dispozici");
        return;
    }
    std::string cookie = buffer;
    if (cookie.find("cry:") != std::string::npos) {
        if (auto plain = CurrentServerAuthSteps().DecipherCookie(cookie)) {
            cookie = std::move(*plain);
            report("AppAccPar decrypted");
        }
    }
    const std::string fullUrl = CompleteScheme(url);
    const auto eq = cookie.find('=');
    std::string name = cookie.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : cookie.substr(eq + 1);
    if (const auto semi = value.find(';'); semi != std::string::npos)
        value.resize(semi);
    if (http::SetCookie(fullUrl, std::string(TrimSpaces(name)), value, false)) {
        report("AppAccPar byl nastaven");
    } else {
        report("Nepodarilo se nastavit AppAccPar");
        report(("URL: " + std::string(url) + ", LastError= 0\n").c_str());
    }
}

}  // namespace quillbox::net
