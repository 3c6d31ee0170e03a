#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/settings/settings_store.h"

namespace quillbox::settings {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y) {
            return false;
        }
    }
    return true;
}

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

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// An exclusive lock on a companion file for the read-modify-write of one update, so
// two processes (two browser pages) writing at once do not lose each other's values.
class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
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

  private:
    int fd_;
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
    bool inKey = false;
    for (const std::string& line : ReadLines(FileOf(root))) {
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
                             const Value& value) {
    if (!ValidKeyPath(keyPath)) {
        return false;
    }
    const std::string& path = FileOf(root);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error) {
        return false;
    }
    FileLock lock(path + ".lock");
    if (!lock.locked()) {
        return false;
    }

    std::vector<std::string> lines = ReadLines(path);
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

    // Write beside the file and rename, so a reader never sees half a file.
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
        out.flush();
        if (!out) {
            std::filesystem::remove(temp, error);
            return false;
        }
    }
    std::filesystem::rename(temp, path, error);
    return !error;
}

}  // namespace quillbox::settings
