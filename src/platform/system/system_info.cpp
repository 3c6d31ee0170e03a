#include "platform/system/system_info.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <system_error>

namespace quillbox::sys {

namespace {
constexpr std::size_t kMaxTempFolderLength = 259;

const char* QualifyingVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return nullptr;
    }
    std::size_t length = std::char_traits<char>::length(value);
    return (length >= 1 && length <= kMaxTempFolderLength) ? value : nullptr;
}
}  // namespace

std::string TemporaryFolder() {
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
        if (const char* value = QualifyingVariable(name)) {
            return value;
        }
    }
    return "/tmp";
}

std::string ProfileFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

std::string SystemErrorText(int error) {
    if (error == 0) {
        return {};
    }
    std::string text = std::system_category().message(error);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

int OsMajorVersion() {
    utsname names{};
    if (uname(&names) != 0) {
        return 5;
    }
    char* end = nullptr;
    long major = std::strtol(names.release, &end, 10);
    if (end == names.release || major <= 0 || major > 1000) {
        return 5;
    }
    return static_cast<int>(major);
}

}  // namespace quillbox::sys
