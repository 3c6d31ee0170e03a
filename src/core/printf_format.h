// printf-style "%s" insertion for format texts that come from the message table rather
// than from the code: only "%s" and "%%" are understood, so a text with an unexpected
// conversion can never read arguments that are not there.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillbox {

// Each "%s" takes the next argument (the empty text when they run out); "%%" is one
// percent sign; any other "%" sequence stays as written.
std::string FormatPrintf(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace quillbox
