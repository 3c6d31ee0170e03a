// Reads the plug-in's UTF-16LE log file back as UTF-8 text.
#pragma once

#include <filesystem>
#include <string>

#include "core/utf.h"
#include "test_support.h"

namespace quillbox::test {

inline std::string ReadLogFile(const std::filesystem::path& path) {
    std::string bytes = ReadFile(path);
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return Utf16ToUtf8(wide);
}

}  // namespace quillbox::test
