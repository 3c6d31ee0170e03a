#include "core/identity.h"

#include "core/message_ids.h"
#include "core/messages/messages.h"

namespace quillbox {

std::string ResponseVersion(std::string_view version) {
    std::size_t dot = version.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(version.substr(0, dot));
}

std::string BannerLine() {
    return FormatMessageText(msg::kBanner, {kProductName, kBitness, kPluginVersion});
}

std::string BoxCaption() {
    return FormatMessageText(msg::kCaption, {kProductName, kBitness, kPluginVersion});
}

std::string BoxCaption(std::string_view title) {
    return FormatMessageText(msg::kCaptionWithTitle,
                             {kProductName, kBitness, kPluginVersion, title});
}

}  // namespace quillbox
