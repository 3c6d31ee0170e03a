// The bridge to the external document signer "Evermark": a separate desktop program,
// found through the machine-wide setting "InstallDir", started as a child process with
// a request, read back through a short text answer.
//
// The file transport's contract with a signer: each request gets a private folder (mode
// 0700) made fresh for it. The folder holds the request file named on the command line
// ("Evermark /io2 FOLDER/EVM-request") and is the signer's temporary folder: TMP, TEMP and
// TMPDIR name it. The signer writes its answer to "output.io2" in that folder before it
// exits. Only an answer written there during this run is read; the folder and everything
// in it is removed when the request ends, whatever happened.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/task_outcome.h"

namespace quillbox::attach {

inline constexpr std::string_view kSignerSettingsKey = "Software\\Kestrelsoft\\Evermark";
inline constexpr std::string_view kSignerInstallDirName = "InstallDir";
inline constexpr std::string_view kSignerProgram = "Evermark";
inline constexpr std::string_view kAnswerFileName = "output.io2";
// More is no answer of this protocol.
inline constexpr std::size_t kAnswerLimit = 64 * 1024;

// Message numbers of the bridge's failures; each goes out with code kSignerErrorCode.
inline constexpr std::int32_t kSignerErrorCode = -27;
inline constexpr int kMsgCannotStart = 199;
inline constexpr int kMsgCannotSend = 200;
inline constexpr int kMsgCannotRead = 201;
inline constexpr int kMsgWrongFormat = 202;
inline constexpr int kMsgNotInstalled = 203;

// Raises the bridge's task error with message number, keeping the system's error text.
[[noreturn]] void ThrowSignerError(int message, int lastError);

struct SignerAnswer {
    std::int32_t code = 0;
    TaskResult result = TaskResult::Error;
    std::string text;
};
// An answer: a code line ("0" success, "-2" cancelled, other numbers failure) and a text
// line, each ended by a line feed (a carriage return before it is dropped). A missing
// line raises 201; a code that is not exactly a number in range, a zero written
// otherwise than "0", or text that is not UTF-8 free of control characters, 202.
SignerAnswer ParseSignerAnswer(std::string_view answer);

// The plug-in's language as its companion programs take it: "cz", "en" or "sk".
std::string_view CompanionLanguage();

// A child process that is waited for; one still running when this goes is killed.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // program with its arguments, standard input from /dev/null, output to /dev/null, no
    // other descriptor, and the environment with TMP, TEMP and TMPDIR set to tempFolder and
    // QUILLBOX_LANG to CompanionLanguage(). On failure false with errno set.
    bool Spawn(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& tempFolder);
    // Until the child has ended, serving the dialogs other threads ask for meanwhile
    // (the task may run on the dialog thread). False with errno set when it cannot wait.
    // status, when given, receives the child's wait status.
    bool WaitForEnd(int* status = nullptr);
    // Kills a child still running and waits for it.
    void Stop();

  private:
    pid_t pid_ = -1;
};

class CEvmSigner {
  public:
    virtual ~CEvmSigner() = default;

    virtual bool Start() = 0;
    virtual bool WriteLine(std::string_view text) = 0;
    virtual TaskResult ReadResponse(std::int32_t& code, std::string& text) = 0;
    virtual bool AfterStart() { return true; }
    virtual bool EndRequest() = 0;
    virtual bool EndResponse() = 0;
    virtual void Close() {}

    // Starts the signer with its arguments; raises 203 when it is not installed.
    bool Launch(std::string_view first, std::string_view second);
    // The three "getarea" lines. False (errno set) when they cannot be written or the path
    // cannot travel in one line (a line break or a NUL in it).
    bool RequestArea(std::string_view pdfPath);
    // ReadResponse, then EndResponse.
    TaskResult ReadResult(std::int32_t& code, std::string& text);

  protected:
    // The signer's temporary folder.
    std::string tempFolder_;
    ChildProcess child_;
};

class CEvmSignerFile final : public CEvmSigner {
  public:
    // Makes the private folder and the request file; raises 200 when it cannot.
    CEvmSignerFile();
    ~CEvmSignerFile() override;

    bool Start() override;
    bool WriteLine(std::string_view text) override;
    TaskResult ReadResponse(std::int32_t& code, std::string& text) override;
    bool AfterStart() override;
    bool EndRequest() override;
    bool EndResponse() override;
    // Closes both files and removes the folder with all in it.
    void Close() override;

  private:
    std::string requestPath_;
    int requestFd_ = -1;
    int answerFd_ = -1;
};

}  // namespace quillbox::attach
