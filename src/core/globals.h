// The process-wide log and diagnostic switch. The log file is written only when a file
// named "PenwrightA.log" already exists in the user's temporary folder, so a user or a
// supporter turns logging on by creating that empty file. The temporary folder may be
// shared with other users, so the file counts only when it is the user's own regular
// file, not a link and not writable by group or others; anything else is as if absent.
// The plug-in never creates it. Levels 1 and 2 also show the entry to the person in a
// warning or error box.
#pragma once

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "core/unique_fd.h"

namespace quillbox {

class CSignException;

enum class LogLevel { File = 0, Warning = 1, Error = 2 };

inline constexpr std::string_view kLogFileName = "PenwrightA.log";

class CGlobals {
  public:
    // The single instance, created (and the log decision taken) on first use.
    static CGlobals& Get();
    // Lets a test route the process's logging to an instance of its own (nullptr: back
    // to the real one).
    static void SetInstanceForTesting(CGlobals* instance);

    // An instance over an explicit temporary folder (empty: none known). The process
    // uses Get(); tests build their own.
    explicit CGlobals(std::string tempFolder);
    ~CGlobals();
    CGlobals(const CGlobals&) = delete;
    CGlobals& operator=(const CGlobals&) = delete;

    // printf-style format; UTF-8 text. In the file each entry's message stays on its
    // line: line breaks and other line-ending characters in the text inserted by %s and
    // %c (URLs, headers, server messages) and in exception texts are written as escapes
    // such as "\n". The box shows the text as it is.
    void Log(LogLevel level, const CSignException* exception, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // For formats that are not literals (message texts such as "HTTP status: %s").
    void LogV(LogLevel level, const CSignException* exception, const char* format, va_list args);
    // An already formatted message; in the file all of it counts as inserted text.
    void LogText(LogLevel level, const CSignException* exception, std::string_view message);

    // "<path>, exists" or "<path>, not exists".
    std::string GetLogFileInfo() const;
    const std::string& LogPath() const { return logPath_; }
    bool LogFileExisted() const { return logFileExisted_; }

    bool DebugFlag() const { return debugFlag_.load(); }
    void SetDebugFlag(bool on) { debugFlag_.store(on); }

  private:
    static UniqueFd OpenOwnLogFile(const std::string& path);
    void WriteUtf16(std::string_view utf8);
    // fileMessage already has its inserted text escaped; boxMessage is shown as it is.
    void Emit(LogLevel level, const CSignException* exception, std::string_view fileMessage,
              std::string_view boxMessage);

    std::string logPath_;
    UniqueFd logFile_;
    bool logFileExisted_ = false;
    std::mutex lock_;
    std::atomic<bool> debugFlag_{false};
};

// Shorthand for CGlobals::Get().Log(...).
#define QB_LOG(level, exception, ...) ::quillbox::CGlobals::Get().Log(level, exception, __VA_ARGS__)

}  // namespace quillbox
