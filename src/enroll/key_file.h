// Files that hold what a person cannot get back (the key file, the PFX): written whole or
// not at all, 0600, never through a link; and read back with a size cap.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillbox::enroll {

// The letters (any script) and ASCII digits of a common name, in order. The same whatever
// the language the page chose, so the PFX task finds the file the request task wrote.
std::string CommonNameForFile(std::string_view commonName);

// <profile folder>/pk[_<letters and digits of the common name>]_<modulus word>.pem; nothing
// when the profile folder is unknown.
std::optional<std::filesystem::path> KeyFilePath(std::string_view commonName,
                                                 std::uint32_t modulusWord);

enum class WriteStep { Create, Write, Place };
struct WriteFailure {
    WriteStep step;
    int error;  // errno
};

// Writes bytes to a temporary file beside path (mode 0600), syncs and closes it, then puts it
// in place: exclusively (an existing file or link at path is an error) or replacing what is
// there (a link is replaced, never followed); then syncs the folder. On failure nothing is
// left behind and what was at path is untouched.
std::optional<WriteFailure> WriteDurably(const std::filesystem::path& path, std::string_view bytes,
                                         bool replace);

enum class ReadStatus { Ok, NotFound, CannotOpen, Unreadable };
// Reads a regular file of at most maxBytes, not through a link. error: errno of a failure.
ReadStatus ReadCapped(const std::filesystem::path& path, std::size_t maxBytes, std::string& bytes,
                      int& error);

}  // namespace quillbox::enroll
