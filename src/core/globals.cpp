#include "core/globals.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
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

CGlobals::UniqueFd& CGlobals::UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

CGlobals::UniqueFd::~UniqueFd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// Another local user may have put something at the path in a shared temporary folder: a
// link to one of this user's files, a file of their own that would collect what the
// plug-in logs, or a FIFO that would stall the start. The checks run on the descriptor
// that was opened, so nothing can be swapped in between. O_NONBLOCK only matters for
// the FIFO, which is refused anyway. A second hard link is refused too: it could be one
// of the user's own files linked in from elsewhere.
CGlobals::UniqueFd CGlobals::OpenOwnLogFile(const std::string& path) {
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
    LogText(level, exception, FormatV(format, args));
}

void CGlobals::LogText(LogLevel level, const CSignException* exception,
                       std::string_view rawMessage) {
    const std::string message = ToValidUtf8(rawMessage);
    std::string caption;
    std::string boxText;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (logFile_) {
            WriteUtf16(TimestampLine());
            WriteUtf16(TruncateUtf16Units(message, kFileMessageUnits));
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
            fileText = lineA + "\t" + lineB;
        } else if (!lineA.empty() || !lineB.empty()) {
            boxText = fileText = lineA.empty() ? lineB : lineA;
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
