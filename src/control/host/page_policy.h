// What a web page may ask of the plug-in. Through the extension any page can drive the
// host, so the host itself decides: which pages (an administrator's list), which task
// URLs (the network only), and how the page is named in the dialogs it causes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::host {

// The machine-wide setting "AllowedOrigins" under the plug-in's key: origins
// ("https://forms.example"), host names ("forms.example", meaning https) or "*.suffix"
// patterns (any https host under that domain), separated by blanks, commas or
// semicolons. Empty or absent: every page the extension serves.
std::vector<std::string> AllowedOriginsSetting();

// Whether a page of this origin may use the plug-in under that list. Only https origins
// and http on localhost or 127.0.0.1 are pages at all.
bool OriginAllowed(std::string_view origin, const std::vector<std::string>& allowed);

// The page as a person should read it: the host name for https on the default port,
// else the whole origin ("http://localhost:8080").
std::string OriginForPerson(std::string_view origin);

// Why a page may not run the task at url, or nothing when it may: only https URLs, and
// http on localhost and 127.0.0.1, never local paths, file:, ftp: or anything else.
std::optional<std::string> RefusedPageUrl(std::string_view url);

}  // namespace quillbox::host
