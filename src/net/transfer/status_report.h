// The text of status reports: the log line of each code and the time lines.
#pragma once

#include <string>

namespace quillbox::net {

// "IntConn::<name> (<code>)", cut to 100 characters, then " <text>" when a text is given.
std::string FormatStatusLine(int code, const char* text);

// "<label> <year>-<month>-<day> Time <h>:<mm>:<ss>.<mmm>" of the local time now.
std::string TimeLine(const char* label);

}  // namespace quillbox::net
