// Facts about the machine and the process that several parts of the plug-in ask for.
#pragma once

#include <string>

namespace quillbox::sys {

// The user's temporary folder: the first of "TMP", "TEMP" and "TMPDIR" whose value has
// 1 to 259 characters, otherwise "/tmp". The length rule keeps file names built on it
// within the limits other tools of the system expect.
std::string TemporaryFolder();

// The user's profile folder ($HOME), empty when unknown.
std::string ProfileFolder();

// The system's own text for an errno value, without trailing line breaks; empty for 0.
std::string SystemErrorText(int error);

// The kernel's major version number, or 5 when it cannot be read.
int OsMajorVersion();

}  // namespace quillbox::sys
