#include "net/transfer/server_auth_steps.h"

#include <algorithm>
#include <atomic>
#include <cctype>

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
    std::string lower = host;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string& suffix) {
        if (suffix.empty())
            return false;
        const auto at = lower.find(suffix);
        return at != std::string::npos && at + suffix.size() == lower.size();
    });
}

}  // namespace quillbox::net
