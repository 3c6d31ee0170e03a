// Strict conversions between UTF-8 (the plug-in's text) and UTF-16 (where behaviour is
// defined in UTF-16 code units: the log file, sorting, limits counted in wide
// characters). Invalid input converts to the empty text, never to a partial one.
#pragma once

#include <string>
#include <string_view>

namespace quillbox {

bool IsValidUtf8(std::string_view text);

// The text when it is valid UTF-8, otherwise the empty text.
std::string Utf8ToWide(std::string_view utf8);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// The text with every invalid sequence replaced by U+FFFD, for texts that are shown or
// logged rather than interpreted (a server's error page in another encoding).
std::string ToValidUtf8(std::string_view text);

// Cuts the text to at most maxUnits UTF-16 code units without splitting a character.
std::string TruncateUtf16Units(std::string_view utf8, std::size_t maxUnits);

}  // namespace quillbox
