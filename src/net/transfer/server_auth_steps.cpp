#include "net/transfer/server_auth_steps.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include "platform/system/ascii_case.h"

namespace quillbox::net {
namespace {

std::atomic<ServerAuthSteps*> installed{nullptr};

}  // namespace

ServerAuthSteps& CurrentServerAuthSteps() {
    static ServerAuthSteps fallback;
    ServerAuthSteps* steps = installed.load();
    return steps != nullptr ? *steps : fallback;
}

void SetServerAuthSteps(ServerAuthSteps* steps) {
    installed.store(steps);
}

bool IsTrustedDomain(const std::string& host, const std::vector<std::string>& suffixes) {
    if (host.empty())
        return false;
    const std::string lower = LowerAscii(host);
    return std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string& suffix) {
        if (suffix.empty())
            return false;
        const auto at = lower.find(suffix);
        return at != std::string::npos && at + suffix.size() == lower.size();
    });
}

}  // namespace quillbox::net
