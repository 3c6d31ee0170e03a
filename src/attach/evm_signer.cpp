#include "attach/evm_signer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <system_error>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "core/sign_exception.h"
#include "core/utf.h"
#include "platform/settings/settings_store.h"
#include "platform/system/system_info.h"
#include "platform/ui/user_interface.h"

extern char** environ;

namespace quillbox::attach {

namespace {

constexpr std::string_view kRequestFileName = "EVM-request";

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
    }
    fd = -1;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string_view WithoutCarriageReturns(std::string_view line) {
    while (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool IsPlainText(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return IsValidUtf8(text);
}

// Owns the pieces posix_spawn needs.
struct SpawnSetup {
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

}  // namespace

void ThrowSignerError(int message, int lastError) {
    throw CSignException(kSignerErrorCode, LoadMessage(message), true, lastError);
}

SignerAnswer ParseSignerAnswer(std::string_view answer) {
    const std::size_t firstEnd = answer.find('\n');
    if (firstEnd == std::string_view::npos) {
        ThrowSignerError(kMsgCannotRead, 0);
    }
    const std::string_view codeLine = WithoutCarriageReturns(answer.substr(0, firstEnd));
    SignerAnswer parsed;
    if (codeLine != "0") {
        const char* end = codeLine.data() + codeLine.size();
        const auto [stop, error] = std::from_chars(codeLine.data(), end, parsed.code);
        if (error != std::errc() || stop != end || parsed.code == 0) {
            ThrowSignerError(kMsgWrongFormat, 0);
        }
    }
    const std::string_view rest = answer.substr(firstEnd + 1);
    const std::size_t secondEnd = rest.find('\n');
    if (secondEnd == std::string_view::npos) {
        ThrowSignerError(kMsgCannotRead, 0);
    }
    const std::string_view text = WithoutCarriageReturns(rest.substr(0, secondEnd));
    // The text goes into the page's XML answer as it is.
    if (!IsPlainText(text)) {
        ThrowSignerError(kMsgWrongFormat, 0);
    }
    parsed.text = text;
    parsed.result = parsed.code == 0    ? TaskResult::Ok
                    : parsed.code == -2 ? TaskResult::Cancel
                                        : TaskResult::Error;
    return parsed;
}

std::string_view CompanionLanguage() {
    // The companions' convention names Czech by the country.
    const std::string_view code = IsoLanguageCode();
    return code == "cs" ? "cz" : code;
}

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Spawn(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& tempFolder) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("TMP=") && !text.starts_with("TEMP=") &&
            !text.starts_with("TMPDIR=")) {
            environment.emplace_back(text);
        }
    }
    for (const char* name : {"TMP=", "TEMP=", "TMPDIR="}) {
        environment.push_back(name + tempFolder);
    }
    std::erase_if(environment,
                  [](const std::string& entry) { return entry.starts_with("QUILLBOX_LANG="); });
    environment.push_back("QUILLBOX_LANG=" + std::string(CompanionLanguage()));
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (std::string& text : texts) {
            list.push_back(text.data());
        }
        list.push_back(nullptr);
        return list;
    };
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> envPointers = pointers(environment);

    // Nothing of the plug-in's reaches the signer: not its input (a host's message
    // channel), not its output, no other descriptor, no ignored or blocked signal. Its
    // complaints go where the plug-in's own go, so a crashing companion can be told.
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&setup.attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&setup.attributes, &signals);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int error = posix_spawn(&pid_, program.c_str(), &setup.actions, &setup.attributes,
                                  argvPointers.data(), envPointers.data());
    if (error != 0) {
        pid_ = -1;
        errno = error;
        return false;
    }
    return true;
}

bool ChildProcess::WaitForEnd(int* endStatus) {
    const std::unique_ptr<ui::ThreadWait> wait = ui::CurrentUserInterface().CreateThreadWait();
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            pid_ = -1;
            if (endStatus != nullptr) {
                *endStatus = status;
            }
            QB_LOG(LogLevel::File, nullptr, "Companion ended: %s %d",
                   WIFEXITED(status) ? "exit" : "signal",
                   WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
            return true;
        }
        if (ended < 0 && errno != EINTR) {
            return false;
        }
        wait->Beat(std::chrono::milliseconds(50));
    }
}

void ChildProcess::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

bool CEvmSigner::Launch(std::string_view first, std::string_view second) {
    const std::optional<settings::Value> value = settings::CurrentSettingsStore().Read(
        settings::Root::LocalMachine, kSignerSettingsKey, kSignerInstallDirName);
    const std::string* folder = value ? std::get_if<std::string>(&*value) : nullptr;
    // A relative folder would name a program wherever the plug-in happens to run.
    if (folder == nullptr || folder->empty() || folder->front() != '/') {
        ThrowSignerError(kMsgNotInstalled, 0);
    }
    const std::string program =
        *folder + (folder->back() == '/' ? "" : "/") + std::string(kSignerProgram);
    std::vector<std::string> arguments;
    for (const std::string_view argument : {first, second}) {
        if (!argument.empty()) {
            arguments.emplace_back(argument);
        }
    }
    QB_LOG(LogLevel::File, nullptr, "Signer: %s", program.c_str());
    if (!child_.Spawn(program, arguments, tempFolder_)) {
        return false;
    }
    return AfterStart();
}

bool CEvmSigner::RequestArea(std::string_view pdfPath) {
    // The path travels as one line of text.
    if (pdfPath.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
        !IsValidUtf8(pdfPath)) {
        errno = EINVAL;
        return false;
    }
    return WriteLine("getarea") && WriteLine(std::to_string(Utf8ToUtf16(pdfPath).size())) &&
           WriteLine(pdfPath) && EndRequest();
}

TaskResult CEvmSigner::ReadResult(std::int32_t& code, std::string& text) {
    const TaskResult result = ReadResponse(code, text);
    EndResponse();
    return result;
}

CEvmSignerFile::CEvmSignerFile() {
    std::string folder = sys::TemporaryFolder() + "/EVM-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        ThrowSignerError(kMsgCannotSend, errno);
    }
    tempFolder_ = folder;
    requestPath_ = folder + "/" + std::string(kRequestFileName);
    requestFd_ =
        open(requestPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (requestFd_ < 0) {
        const int error = errno;
        Close();
        ThrowSignerError(kMsgCannotSend, error);
    }
}

CEvmSignerFile::~CEvmSignerFile() {
    Close();
}

bool CEvmSignerFile::Start() {
    return Launch("/io2", requestPath_);
}

bool CEvmSignerFile::WriteLine(std::string_view text) {
    return requestFd_ >= 0 && WriteAll(requestFd_, text) && WriteAll(requestFd_, "\n");
}

bool CEvmSignerFile::AfterStart() {
    return child_.WaitForEnd();
}

bool CEvmSignerFile::EndRequest() {
    const bool closed = requestFd_ >= 0 && close(requestFd_) == 0;
    requestFd_ = -1;
    return closed;
}

TaskResult CEvmSignerFile::ReadResponse(std::int32_t& code, std::string& text) {
    const std::string path = tempFolder_ + "/" + std::string(kAnswerFileName);
    CloseFd(answerFd_);
    answerFd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat info {};
    if (answerFd_ < 0 || fstat(answerFd_, &info) != 0) {
        ThrowSignerError(kMsgCannotRead, errno);
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        ThrowSignerError(kMsgCannotRead, EINVAL);
    }
    std::string answer(kAnswerLimit, '\0');
    std::size_t length = 0;
    while (length < answer.size()) {
        const ssize_t got = read(answerFd_, answer.data() + length, answer.size() - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ThrowSignerError(kMsgCannotRead, errno);
        }
        if (got == 0) {
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    answer.resize(length);
    QB_LOG(LogLevel::File, nullptr, "Signer response: %s", answer.c_str());
    SignerAnswer parsed = ParseSignerAnswer(answer);
    code = parsed.code;
    text = std::move(parsed.text);
    return parsed.result;
}

bool CEvmSignerFile::EndResponse() {
    const bool closed = answerFd_ >= 0 && close(answerFd_) == 0;
    answerFd_ = -1;
    return closed;
}

void CEvmSignerFile::Close() {
    child_.Stop();
    CloseFd(requestFd_);
    CloseFd(answerFd_);
    if (!tempFolder_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(tempFolder_, error);
        if (error) {
            QB_LOG(LogLevel::File, nullptr, "Signer: cannot remove %s: %s", tempFolder_.c_str(),
                   error.message().c_str());
        }
        tempFolder_.clear();
    }
}

}  // namespace quillbox::attach
