#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/settings/settings_store.h"
#include "platform/system/ascii_case.h"

namespace quillbox::settings {

namespace {

// Escapes what would break the line structure: the escape character itself, the
// separator, line breaks and the characters that start sections and comments.
std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '=':
                out += "\\=";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\0':
                out += "\\0";
                break;
            case '[':
                out += "\\[";
                break;
            case ';':
                out += "\\;";
                break;
            case '#':
                out += "\\#";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char next = text[++i];
        switch (next) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            default:
                out += next;
        }
    }
    return out;
}

// Position of the first '=' that is not escaped, or npos.
std::size_t FindSeparator(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
        } else if (line[i] == '=') {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool IsSection(std::string_view line, std::string* name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return false;
    }
    *name = std::string(line.substr(1, line.size() - 2));
    return true;
}

// A value line's name (unescaped), or nullopt for comments, blanks and junk.
std::optional<std::string> LineName(std::string_view line) {
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
        return std::nullopt;
    }
    std::size_t eq = FindSeparator(trimmed);
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return Unescape(Trim(trimmed.substr(0, eq)));
}

std::optional<Value> ParseValue(std::string_view line) {
    std::string_view trimmed = Trim(line);
    std::size_t eq = FindSeparator(trimmed);
    std::string_view data = trimmed.substr(eq + 1);
    while (!data.empty() && (data.front() == ' ' || data.front() == '\t'))
        data.remove_prefix(1);
    if (data.substr(0, 3) == "sz:") {
        return Value{Unescape(data.substr(3))};
    }
    if (data.substr(0, 6) == "dword:") {
        std::string digits(data.substr(6));
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return std::nullopt;
        }
        return Value{static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16))};
    }
    return std::nullopt;
}

std::string FormatLine(std::string_view name, const Value& value) {
    std::string line = Escape(name) + "=";
    if (const auto* text = std::get_if<std::string>(&value)) {
        line += "sz:" + Escape(*text);
    } else {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", std::get<std::uint32_t>(value));
        line += "dword:";
        line += hex;
    }
    return line;
}

bool ValidKeyPath(std::string_view keyPath) {
    return !keyPath.empty() && keyPath.find_first_of("[]\n\r") == std::string_view::npos;
}

std::string SystemText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// Settings files are a few kilobytes; anything near this is not ours.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

// A settings file as found on disk.
struct Contents {
    enum class State {
        Missing,     // no file yet: an empty store
        Read,        // lines holds it
        Unparsable,  // lines holds it, but some line is not ours: never rewritten
        Unreadable,  // nothing known of it: never rewritten
    };
    State state = State::Missing;
    std::vector<std::string> lines;
    std::string why;  // for Unparsable and Unreadable
    mode_t mode = 0600;
    std::optional<std::pair<uid_t, gid_t>> owner;
};

// A line the store would neither understand nor have written: junk, or a NUL byte
// (a binary file). Such a file is kept as it is rather than rewritten from a guess.
std::optional<std::string> ForeignLine(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string section;
        std::string_view trimmed = Trim(lines[i]);
        const bool known =
            lines[i].find('\0') == std::string::npos &&
            (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' ||
             IsSection(trimmed, &section) || FindSeparator(trimmed) != std::string_view::npos);
        if (!known) {
            return "line " + std::to_string(i + 1) + " is not a section, a comment or a value";
        }
    }
    return std::nullopt;
}

// Reads without following a link at the file itself and without blocking on a FIFO,
// telling a missing file (an empty store) from one that could not be read.
Contents Load(const std::string& path) {
    Contents contents;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            contents.state = Contents::State::Unreadable;
            contents.why = SystemText(path + " cannot be opened", errno);
        }
        return contents;
    }
    contents.state = Contents::State::Unreadable;
    std::string bytes;
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        contents.why = SystemText(path + " cannot be examined", errno);
    } else if (!S_ISREG(info.st_mode)) {
        contents.why = path + " is not a regular file";
    } else if (info.st_size > kMaxFileSize) {
        contents.why = path + " is too large for a settings file";
    } else {
        contents.mode = info.st_mode & 0777;
        contents.owner.emplace(info.st_uid, info.st_gid);
        char buffer[8192];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0) {
                bytes.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0) {
                contents.state = Contents::State::Read;
                break;
            } else if (errno != EINTR) {
                contents.why = SystemText(path + " cannot be read", errno);
                break;
            }
        }
    }
    close(fd);
    if (contents.state != Contents::State::Read) {
        return contents;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {  // a byte order mark left by an editor
        bytes.erase(0, 3);
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        contents.lines.emplace_back(bytes, start, end - start);
        start = end + 1;
    }
    if (std::optional<std::string> foreign = ForeignLine(contents.lines)) {
        contents.state = Contents::State::Unparsable;
        contents.why = path + " cannot be parsed: " + *foreign;
    }
    return contents;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Replaces the file whole: a temporary file beside it, synced, renamed over it, then the
// folder synced, so a crash or a full disk leaves either the old file or the new one.
// The caller holds the lock, so the temporary name is ours alone; a leftover of a write
// that died is removed, never followed.
bool ReplaceFile(const std::string& path, const Contents& old, const std::string& bytes,
                 std::string* why) {
    const std::string temp = path + ".tmp";
    if (unlink(temp.c_str()) != 0 && errno != ENOENT) {
        *why = SystemText(temp + " cannot be removed", errno);
        return false;
    }
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *why = SystemText(temp + " cannot be created", errno);
        return false;
    }
    if (old.owner && (old.owner->first != geteuid() || old.owner->second != getegid())) {
        // Only root can give the file back to its owner; others keep their own.
        (void)fchown(fd, old.owner->first, old.owner->second);
    }
    const char* failed = nullptr;
    int failure = 0;
    if (fchmod(fd, old.mode) != 0) {
        failed = " cannot take the file's mode";
    } else if (!WriteAll(fd, bytes)) {
        failed = " cannot be written";
    } else if (fsync(fd) != 0) {
        failed = " cannot be synced";
    }
    failure = errno;
    if (close(fd) != 0 && failed == nullptr) {
        failed = " cannot be closed";
        failure = errno;
    }
    if (failed == nullptr && rename(temp.c_str(), path.c_str()) != 0) {
        failed = " cannot be renamed over the settings file";
        failure = errno;
    }
    if (failed != nullptr) {
        *why = SystemText(temp + failed, failure);
        unlink(temp.c_str());
        return false;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        // The new file is in place for every reader; only its survival of a power cut
        // is in doubt, which is no reason to report the value unwritten.
        fsync(dir);
        close(dir);
    }
    return true;
}

// An exclusive lock on a companion file for the read-modify-write of one update, so
// two processes (two browser pages) writing at once do not lose each other's values.
// Not on the settings file itself: the rename replaces that.
class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }
    int error() const { return error_; }

  private:
    int fd_;
    int error_ = 0;
};

std::string ConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

std::string FirstConfigDir() {
    if (const char* dirs = std::getenv("XDG_CONFIG_DIRS"); dirs != nullptr && *dirs == '/') {
        std::string_view all(dirs);
        return std::string(all.substr(0, all.find(':')));
    }
    return "/etc/xdg";
}

}  // namespace

IniSettingsStore::IniSettingsStore()
    : IniSettingsStore(ConfigHome() + "/quillbox/settings.ini",
                       FirstConfigDir() + "/quillbox/settings.ini") {}

IniSettingsStore::IniSettingsStore(std::string userFile, std::string machineFile)
    : userFile_(std::move(userFile)), machineFile_(std::move(machineFile)) {}

const std::string& IniSettingsStore::FileOf(Root root) const {
    return root == Root::CurrentUser ? userFile_ : machineFile_;
}

std::optional<Value> IniSettingsStore::Read(Root root, std::string_view keyPath,
                                            std::string_view name) const {
    if (!ValidKeyPath(keyPath)) {
        return std::nullopt;
    }
    // A file with lines not ours still answers for the lines that are.
    bool inKey = false;
    for (const std::string& line : Load(FileOf(root)).lines) {
        std::string section;
        if (IsSection(line, &section)) {
            inKey = EqualsNoCase(section, keyPath);
        } else if (inKey) {
            std::optional<std::string> lineName = LineName(line);
            if (lineName && EqualsNoCase(*lineName, name)) {
                return ParseValue(line);
            }
        }
    }
    return std::nullopt;
}

bool IniSettingsStore::Write(Root root, std::string_view keyPath, std::string_view name,
                             const Value& value, std::string* why) {
    std::string ignored;
    if (why == nullptr) {
        why = &ignored;
    }
    if (!ValidKeyPath(keyPath)) {
        *why = "invalid key path";
        return false;
    }
    const std::string& path = FileOf(root);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error) {
        *why = path + ": cannot create the folder: " + error.message();
        return false;
    }
    FileLock lock(path + ".lock");
    if (!lock.locked()) {
        *why = SystemText(path + ".lock cannot be locked", lock.error());
        return false;
    }

    // Read again under the lock: another process may have written since this one read.
    Contents contents = Load(path);
    if (contents.state == Contents::State::Unreadable ||
        contents.state == Contents::State::Unparsable) {
        *why = contents.why + " (left as it is)";
        return false;
    }
    std::vector<std::string>& lines = contents.lines;
    const std::string newLine = FormatLine(name, value);
    bool inKey = false;
    std::optional<std::size_t> keyEnd;  // where a new value of the key goes
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        std::string section;
        if (IsSection(lines[i], &section)) {
            if (inKey) {
                break;
            }
            inKey = EqualsNoCase(section, keyPath);
            if (inKey) {
                keyEnd = i + 1;
            }
        } else if (inKey) {
            std::optional<std::string> lineName = LineName(lines[i]);
            if (lineName && EqualsNoCase(*lineName, name)) {
                lines[i] = newLine;
                done = true;
            } else if (!Trim(lines[i]).empty()) {
                keyEnd = i + 1;
            }
        }
    }
    if (!done) {
        if (keyEnd) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*keyEnd), newLine);
        } else {
            if (!lines.empty() && !Trim(lines.back()).empty()) {
                lines.emplace_back();
            }
            lines.push_back("[" + std::string(keyPath) + "]");
            lines.push_back(newLine);
        }
    }

    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += '\n';
    }
    return ReplaceFile(path, contents, bytes, why);
}

}  // namespace quillbox::settings
