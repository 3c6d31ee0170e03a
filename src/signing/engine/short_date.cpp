#include "signing/engine/short_date.h"

#include <ctime>

#include "core/messages/messages.h"

namespace quillbox::signing {

std::string ShortDate(std::int64_t utcSeconds, std::uint16_t language) {
    const auto seconds = static_cast<std::time_t>(utcSeconds);
    if (static_cast<std::int64_t>(seconds) != utcSeconds) {
        return {};
    }
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return {};
    }
    const std::string day = std::to_string(local.tm_mday);
    const std::string month = std::to_string(local.tm_mon + 1);
    const std::string year = std::to_string(static_cast<long long>(local.tm_year) + 1900);
    if (language == kLanguageCzech || language == kLanguageSlovak) {
        return day + ". " + month + ". " + year;
    }
    return month + "/" + day + "/" + year;
}

}  // namespace quillbox::signing
