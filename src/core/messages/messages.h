// Numbered user-visible texts in Czech, English and Slovak, and their "%1".."%9" insertions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quillbox {

enum : std::uint16_t {
    kLanguageUserDefault = 1024,
    kLanguageCzech = 1029,
    kLanguageEnglish = 1033,
    kLanguageSlovak = 1051,
};

// Selects the message language from the first two characters of `code`, case-sensitively:
// "cs", "en" or "sk". Any other code returns false and changes nothing. Process-wide.
bool SetLanguage(std::string_view code);

// The language chosen by SetLanguage, or kLanguageUserDefault until a code was accepted.
std::uint16_t MessageLanguage();

// MessageLanguage(), or for kLanguageUserDefault the language of the user's locale (LC_ALL, then
// LC_MESSAGES, then LANG; the first non-empty one): Czech, Slovak, otherwise English.
std::uint16_t EffectiveLanguage();

// EffectiveLanguage() as its ISO 639-1 code: "cs", "sk" or "en".
std::string_view IsoLanguageCode();

// The UTF-8 text of message `number` in EffectiveLanguage(); "???" when it is missing or empty.
std::string LoadMessage(int number);

// LoadMessage(number) with its insertions filled in (see FormatInsertions).
std::string FormatMessageText(int number, std::initializer_list<std::string_view> insertions = {});

// Replaces "%1".."%9" by the matching insertion and "%%" by "%", in one left-to-right pass, so
// inserted text is never scanned again. Only one digit counts: "%10" is insertion 1 followed by
// "0". A "%n" without an insertion, and every other "%" sequence (such as the printf-style "%s"
// and "%d" that the logger fills in), is kept as it is.
std::string FormatInsertions(std::string_view text,
                             std::initializer_list<std::string_view> insertions);

}  // namespace quillbox
