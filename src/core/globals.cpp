#include "core/globals.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <type_traits>
#include <vector>

#include "core/identity.h"
#include "core/message_ids.h"
#include "core/messages/messages.h"
#include "core/sign_exception.h"
#include "core/utf.h"
#include "platform/system/system_info.h"
#include "platform/ui/user_interface.h"

namespace quillbox {

namespace {

// Room for a formatted message in the file and for the text of a box, counted in
// UTF-16 code units (one of them was the terminating NUL where these limits come from).
constexpr std::size_t kFileMessageUnits = 4096 - 1;
constexpr std::size_t kBoxTextUnits = 1024 - 1;

std::string TimestampLine() {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    char line[64];
    std::snprintf(line, sizeof line, "%04d/%02d/%02d %02d:%02d:%02d:%03d\n", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_usec / 1000));
    return line;
}

std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void AppendHex(std::string& out, unsigned value, int digits) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        out += kDigits[(value >> shift) & 0xF];
    }
}

// A log viewer may start a new line at any of CR, LF, VT, FF, NEL, U+2028 and U+2029, so
// text from a page or server could otherwise fake whole entries. Those, and the other
// control characters, become escapes; tabs stay, they cannot start a line.
// The text must be valid UTF-8, so the byte patterns below are whole characters.
std::string EscapeLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto after = [&](std::size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
        };
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            out += "\\x";
            AppendHex(out, byte, 2);
        } else if (byte == 0xC2 && after(1) >= 0x80 && after(1) <= 0x9F) {
            out += "\\u00";
            AppendHex(out, after(1), 2);
            i += 1;
        } else if (byte == 0xE2 && after(1) == 0x80 && (after(2) == 0xA8 || after(2) == 0xA9)) {
            out += after(2) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

std::string ForFile(std::string_view text) {
    return EscapeLineBreaks(ToValidUtf8(text));
}

template <typename T>
std::string FormatOne(const std::string& spec, T value) {
    const int length = std::snprintf(nullptr, 0, spec.c_str(), value);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), spec.c_str(), value);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

template <typename Int, typename Long, typename LongLong, typename Max, typename Size,
          typename Diff>
std::string FormatInteger(const std::string& spec, std::string_view length, va_list* args) {
    if (length == "l") {
        return FormatOne(spec, va_arg(*args, Long));
    }
    if (length == "ll" || length == "L") {
        return FormatOne(spec, va_arg(*args, LongLong));
    }
    if (length == "j") {
        return FormatOne(spec, va_arg(*args, Max));
    }
    if (length == "z") {
        return FormatOne(spec, va_arg(*args, Size));
    }
    if (length == "t") {
        return FormatOne(spec, va_arg(*args, Diff));
    }
    return FormatOne(spec, va_arg(*args, Int));  // hh and h arrive promoted
}

// vsnprintf for the file: the format is the code's own text and keeps its layout, while
// the text of each %s and %c argument may come from a page or server and goes through
// ForFile. Each conversion is handed to snprintf on its own with its own argument type.
std::string FormatForFile(const char* format, va_list original) {
    va_list args;
    va_copy(args, original);
    std::string out;
    const char* at = format;
    while (*at != '\0') {
        if (*at != '%') {
            out += *at++;
            continue;
        }
        const char* start = at++;
        std::string spec = "%";
        while (*at != '\0' && std::strchr("-+ #0'", *at) != nullptr) {
            spec += *at++;
        }
        if (*at == '*') {
            spec += std::to_string(va_arg(args, int));  // a negative width reads as "-"
            ++at;
        }
        while (std::isdigit(static_cast<unsigned char>(*at))) {
            spec += *at++;
        }
        if (*at == '.') {
            ++at;
            if (*at == '*') {
                const int precision = va_arg(args, int);
                ++at;
                if (precision >= 0) {
                    spec += "." + std::to_string(precision);
                }
            } else {
                spec += '.';
                while (std::isdigit(static_cast<unsigned char>(*at))) {
                    spec += *at++;
                }
            }
        }
        const char* lengthStart = at;
        while (*at != '\0' && std::strchr("hljztL", *at) != nullptr) {
            ++at;
        }
        const std::string_view length(lengthStart, static_cast<std::size_t>(at - lengthStart));
        if (*at == '\0') {
            out += start;
            break;
        }
        const char conversion = *at++;
        spec.append(length);
        spec += conversion;
        switch (conversion) {
            case '%':
                out += '%';
                break;
            case 'd':
            case 'i':
                out += FormatInteger<int, long, long long, std::intmax_t,
                                     std::make_signed_t<std::size_t>, std::ptrdiff_t>(spec, length,
                                                                                      &args);
                break;
            case 'o':
            case 'u':
            case 'x':
            case 'X':
                out += FormatInteger<unsigned, unsigned long, unsigned long long, std::uintmax_t,
                                     std::size_t, std::make_unsigned_t<std::ptrdiff_t>>(
                    spec, length, &args);
                break;
            case 'e':
            case 'E':
            case 'f':
            case 'F':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                out += length == "L" ? FormatOne(spec, va_arg(args, long double))
                                     : FormatOne(spec, va_arg(args, double));
                break;
            case 'p':
                out += FormatOne(spec, va_arg(args, void*));
                break;
            case 'c':
                out += ForFile(length == "l" ? FormatOne(spec, va_arg(args, std::wint_t))
                                             : FormatOne(spec, va_arg(args, int)));
                break;
            case 's':
                if (length == "l") {
                    out += ForFile(FormatOne(spec, va_arg(args, const wchar_t*)));
                } else {
                    const char* value = va_arg(args, const char*);
                    out += ForFile(FormatOne(spec, value != nullptr ? value : "(null)"));
                }
                break;
            case 'n':
                (void)va_arg(args, void*);  // never written through
                break;
            default:
                out.append(start, at);  // unknown: as written, as vsnprintf does
                break;
        }
    }
    va_end(args);
    return out;
}

std::string ExceptionLine(const std::string& text, long number) {
    return text + " (" + std::to_string(number) + ")";
}

}  // namespace

namespace {
std::atomic<CGlobals*> g_testInstance{nullptr};
}

CGlobals& CGlobals::Get() {
    if (CGlobals* replaced = g_testInstance.load()) {
        return *replaced;
    }
    static CGlobals instance(sys::TemporaryFolder());
    return instance;
}

void CGlobals::SetInstanceForTesting(CGlobals* instance) {
    g_testInstance.store(instance);
}

CGlobals::CGlobals(std::string tempFolder) {
    if (tempFolder.empty()) {
        return;
    }
    if (tempFolder.back() != '/') {
        tempFolder += '/';
    }
    logPath_ = tempFolder + std::string(kLogFileName);
    logFile_ = OpenOwnLogFile(logPath_);
    logFileExisted_ = static_cast<bool>(logFile_);
}

CGlobals::~CGlobals() = default;

// Another local user may have put something at the path in a shared temporary folder: a
// link to one of this user's files, a file of their own that would collect what the
// plug-in logs, or a FIFO that would stall the start. The checks run on the descriptor
// that was opened, so nothing can be swapped in between. O_NONBLOCK only matters for
// the FIFO, which is refused anyway. A second hard link is refused too: it could be one
// of the user's own files linked in from elsewhere.
UniqueFd CGlobals::OpenOwnLogFile(const std::string& path) {
    UniqueFd file(
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file) {
        return {};
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 || info.st_nlink != 1) {
        return {};
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return {};
    }
    return file;
}

void CGlobals::WriteUtf16(std::string_view utf8) {
    std::u16string wide = Utf8ToUtf16(utf8);
    if (wide.empty()) {
        return;
    }
    std::vector<unsigned char> bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    // Write failures are ignored: a full disk must not stop the task.
    const unsigned char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(logFile_.get(), next, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
}

void CGlobals::Log(LogLevel level, const CSignException* exception, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(level, exception, format, args);
    va_end(args);
}

void CGlobals::LogV(LogLevel level, const CSignException* exception, const char* format,
                    va_list args) {
    // Nothing to write and nothing to show: skip formatting (a response can be large).
    if (level == LogLevel::File && !logFile_) {
        return;
    }
    const std::string fileMessage = logFile_ ? FormatForFile(format, args) : std::string();
    const std::string boxMessage = level != LogLevel::File ? FormatV(format, args) : std::string();
    Emit(level, exception, fileMessage, boxMessage);
}

void CGlobals::LogText(LogLevel level, const CSignException* exception, std::string_view message) {
    Emit(level, exception, logFile_ ? ForFile(message) : std::string(), message);
}

void CGlobals::Emit(LogLevel level, const CSignException* exception,
                    std::string_view rawFileMessage, std::string_view rawBoxMessage) {
    const std::string fileMessage = ToValidUtf8(rawFileMessage);
    const std::string message = ToValidUtf8(rawBoxMessage);
    std::string caption;
    std::string boxText;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (logFile_) {
            WriteUtf16(TimestampLine());
            WriteUtf16(TruncateUtf16Units(fileMessage, kFileMessageUnits));
            if (exception != nullptr) {
                WriteUtf16(": ");
            }
        }

        caption = exception != nullptr ? BoxCaption(LoadMessage(msg::kError)) : BoxCaption();

        std::string lineA;
        std::string lineB;
        if (exception != nullptr) {
            if (!exception->Text().empty()) {
                lineA = ExceptionLine(exception->Text(), exception->Code());
            }
            if (!exception->SystemText().empty()) {
                lineB = ExceptionLine(exception->SystemText(), exception->LastError());
            }
        }
        std::string fileText;
        if (!lineA.empty() && !lineB.empty()) {
            boxText = lineA + "\n\n" + lineB;
            fileText = ForFile(lineA) + "\t" + ForFile(lineB);
        } else if (!lineA.empty() || !lineB.empty()) {
            boxText = lineA.empty() ? lineB : lineA;
            fileText = ForFile(boxText);
        } else {
            boxText = std::string(message);
        }
        boxText = TruncateUtf16Units(boxText, kBoxTextUnits);

        if (logFile_) {
            if (!fileText.empty()) {
                WriteUtf16(fileText);
            }
            WriteUtf16("\n");
        }
    }

    // The box is shown outside the lock so it never holds up other threads' logging.
    if (level == LogLevel::File) {
        return;
    }
    ui::MessageBoxRequest box;
    box.icon = level == LogLevel::Error ? ui::BoxIcon::Error : ui::BoxIcon::Warning;
    box.buttons = ui::BoxButtons::Ok;
    box.caption = std::move(caption);
    box.text = std::move(boxText);
    box.defaultAnswer = ui::BoxAnswer::Ok;
    box.buttonTexts.ok = LoadMessage(msg::kOk);
    ui::CurrentUserInterface().ShowMessageBox(box);
}

std::string CGlobals::GetLogFileInfo() const {
    return logPath_ + ", " + (logFileExisted_ ? "exists" : "not exists");
}

}  // namespace quillbox
