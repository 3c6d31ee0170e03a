// Who the plug-in says it is: in log headers, box captions, the version answers.
#pragma once

#include <string>
#include <string_view>

namespace quillbox {

inline constexpr std::string_view kProductName = "Quillbox Plug-in";
inline constexpr std::string_view kPluginVersion = "1.31.0.81";
// The bitness pages and support staff have always seen in captions and the log.
inline constexpr std::string_view kBitness = "32";
inline constexpr std::string_view kComponentKindPlain = "ocx";
inline constexpr std::string_view kComponentKindApp = "sea";

// The version without its last dotted component ("1.31.0"); empty without a dot.
std::string ResponseVersion(std::string_view version = kPluginVersion);

// The log's banner line ("========== Quillbox Plug-in (32b) 1.31.0.81 ==========").
std::string BannerLine();

// The caption of boxes: plain, or with a title (a dialog's own title, or "Error").
std::string BoxCaption();
std::string BoxCaption(std::string_view title);

}  // namespace quillbox
