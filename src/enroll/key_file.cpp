#include "enroll/key_file.h"

#include <fcntl.h>
#include <locale.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "core/unique_fd.h"
#include "core/utf.h"
#include "platform/system/system_info.h"

namespace quillbox::enroll {
namespace {

// A Unicode classification that does not follow the process's locale.
bool IsLetter(char32_t c) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (utf8 == nullptr) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
    return iswalpha_l(static_cast<wint_t>(c), utf8) != 0;
}

}  // namespace

std::string CommonNameForFile(std::string_view commonName) {
    std::string kept;
    const std::u16string wide = Utf8ToUtf16(commonName);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        }
        if ((c >= '0' && c <= '9') || IsLetter(c)) {
            std::u16string one;
            if (c >= 0x10000) {
                one = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
                       static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
            } else {
                one = {static_cast<char16_t>(c)};
            }
            kept += Utf16ToUtf8(one);
        }
    }
    return kept;
}

std::optional<std::filesystem::path> KeyFilePath(std::string_view commonName,
                                                 std::uint32_t modulusWord) {
    const std::string folder = sys::ProfileFolder();
    if (folder.empty()) {
        return std::nullopt;
    }
    std::string name = "pk";
    if (!commonName.empty()) {
        name += "_" + CommonNameForFile(commonName);
    }
    name += "_" + std::to_string(modulusWord) + ".pem";
    return std::filesystem::path(folder) / name;
}

std::optional<WriteFailure> WriteDurably(const std::filesystem::path& path, std::string_view bytes,
                                         bool replace) {
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(mkostemp(temp.data(), O_CLOEXEC));  // mode 0600
    if (fd.get() < 0) {
        return WriteFailure{WriteStep::Create, errno};
    }
    auto fail = [&temp](WriteStep step) {
        const int error = errno;
        unlink(temp.c_str());
        return WriteFailure{step, error};
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return fail(WriteStep::Write);
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd.get()) != 0 || !fd.Close()) {
        return fail(WriteStep::Write);
    }
    const int placed =
        replace ? rename(temp.c_str(), path.c_str())
                : renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (placed != 0) {
        return fail(WriteStep::Place);
    }
    if (UniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.get() >= 0) {
        fsync(dir.get());
    }
    return std::nullopt;
}

ReadStatus ReadCapped(const std::filesystem::path& path, std::size_t maxBytes, std::string& bytes,
                      int& error) {
    bytes.clear();
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        error = errno;
        return error == ENOENT ? ReadStatus::NotFound : ReadStatus::CannotOpen;
    }
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = errno != 0 ? errno : EINVAL;
        return ReadStatus::CannotOpen;
    }
    std::vector<char> chunk(4096);
    for (;;) {
        const ssize_t n = read(fd.get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno;
            return ReadStatus::Unreadable;
        }
        if (n == 0) {
            return ReadStatus::Ok;
        }
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            error = EFBIG;
            return ReadStatus::Unreadable;
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
    }
}

}  // namespace quillbox::enroll
