#include "core/messages/messages.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <span>

#include "core/messages/message_table.h"
#include "core/messages/messages_testing.h"

namespace quillbox {
namespace {

constexpr std::string_view kMissingText = "???";

std::atomic<std::uint16_t> g_language{kLanguageUserDefault};

// The language part of a locale name such as "cs_CZ.UTF-8", "sk_SK@euro" or "C".
std::string_view LocaleLanguage(std::string_view locale) {
    return locale.substr(0, locale.find_first_of("_.@"));
}

std::string_view UserLocaleName() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

std::span<const message_table::MessageEntry> TableFor(std::uint16_t language) {
    switch (language) {
        case kLanguageCzech:
            return message_table::Czech();
        case kLanguageSlovak:
            return message_table::Slovak();
        default:
            return message_table::English();
    }
}

std::string_view FindText(std::span<const message_table::MessageEntry> table, int number) {
    const auto it = std::lower_bound(
        table.begin(), table.end(), number,
        [](const message_table::MessageEntry& entry, int n) { return entry.number < n; });
    if (it == table.end() || it->number != number) {
        return {};
    }
    return it->text;
}

}  // namespace

// Only the message language changes here, never the C runtime locale (setlocale): all text in
// this program is UTF-8 regardless of locale, and a process-wide locale switch would also change
// how every other library in the process formats and parses numbers.
bool SetLanguage(std::string_view code) {
    const std::string_view prefix = code.substr(0, 2);
    if (prefix == "cs") {
        g_language = kLanguageCzech;
    } else if (prefix == "en") {
        g_language = kLanguageEnglish;
    } else if (prefix == "sk") {
        g_language = kLanguageSlovak;
    } else {
        return false;
    }
    return true;
}

std::uint16_t MessageLanguage() {
    return g_language;
}

std::uint16_t EffectiveLanguage() {
    const std::uint16_t selected = g_language;
    if (selected != kLanguageUserDefault) {
        return selected;
    }
    // Compare the whole language part, so that e.g. Kashubian ("csb_PL") does not pass for Czech.
    const std::string_view language = LocaleLanguage(UserLocaleName());
    if (language == "cs") {
        return kLanguageCzech;
    }
    if (language == "sk") {
        return kLanguageSlovak;
    }
    return kLanguageEnglish;
}

std::string_view IsoLanguageCode() {
    switch (EffectiveLanguage()) {
        case kLanguageCzech:
            return "cs";
        case kLanguageSlovak:
            return "sk";
        default:
            return "en";
    }
}

std::string LoadMessage(int number) {
    const std::string_view text = FindText(TableFor(EffectiveLanguage()), number);
    return std::string(text.empty() ? kMissingText : text);
}

std::string FormatMessageText(int number, std::initializer_list<std::string_view> insertions) {
    return FormatInsertions(LoadMessage(number), insertions);
}

void ResetLanguageForTesting() {
    g_language = kLanguageUserDefault;
}

}  // namespace quillbox
