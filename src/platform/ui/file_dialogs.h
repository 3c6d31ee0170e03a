// File dialogs: the person picks a file on the local disk. A page never names the file
// itself; whatever is attached was chosen here.
#pragma once

#include <sys/stat.h>

#include <string>

namespace quillbox::ui {

// ---- Open-file dialog: one existing regular file, any type.
struct OpenFileRequest {
    std::string caption{};  // UTF-8
    std::string okText{};   // empty: the platform's word
    std::string cancelText{};
    std::string language{};  // ISO 639-1: the words the platform's dialog adds itself
};

struct OpenFileAnswer {
    bool chosen = false;
    std::string path{};  // absolute, as the file system spells it
};

// Whether a dialog may hand out path: it names a regular file (through links). A FIFO or
// a device would block or never end when read.
inline bool IsChoosableFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace quillbox::ui
