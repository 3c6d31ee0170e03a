#include "core/globals.h"

#include <sys/time.h>

#include <chrono>
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
    if (std::FILE* probe = std::fopen(logPath_.c_str(), "rb")) {
        std::fclose(probe);
        logFileExisted_ = true;
        logFile_.reset(std::fopen(logPath_.c_str(), "ab"));
    }
}

CGlobals::~CGlobals() = default;

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
    (void)std::fwrite(bytes.data(), 1, bytes.size(), logFile_.get());
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
            std::fflush(logFile_.get());
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
            std::fflush(logFile_.get());
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
