#include "platform/ui/user_interface.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace quillbox::ui {

namespace {
std::atomic<UserInterface*> g_current{nullptr};
}

BoxAnswer ConsoleUserInterface::ShowMessageBox(const MessageBoxRequest& box) {
    if (GivenUp()) {
        return CancelAnswerOf(box.buttons);
    }
    std::fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
    return DefaultAnswerOf(box);
}

void UserInterface::GiveUp() {
    givenUp_.store(true);
}

BoxAnswer UserInterface::CancelAnswerOf(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return BoxAnswer::Ok;
        case BoxButtons::OkCancel:
            return BoxAnswer::Cancel;
        case BoxButtons::YesNo:
            return BoxAnswer::No;
    }
    return BoxAnswer::Ok;
}

bool BoxOffers(BoxButtons buttons, BoxAnswer answer) {
    switch (buttons) {
        case BoxButtons::Ok:
            return answer == BoxAnswer::Ok;
        case BoxButtons::OkCancel:
            return answer == BoxAnswer::Ok || answer == BoxAnswer::Cancel;
        case BoxButtons::YesNo:
            return answer == BoxAnswer::Yes || answer == BoxAnswer::No;
    }
    return false;
}

BoxAnswer DefaultAnswerOf(const MessageBoxRequest& box) {
    if (BoxOffers(box.buttons, box.defaultAnswer)) {
        return box.defaultAnswer;
    }
    const bool positive = box.defaultAnswer == BoxAnswer::Ok || box.defaultAnswer == BoxAnswer::Yes;
    switch (box.buttons) {
        case BoxButtons::Ok:
            return BoxAnswer::Ok;
        case BoxButtons::OkCancel:
            return positive ? BoxAnswer::Ok : BoxAnswer::Cancel;
        case BoxButtons::YesNo:
            return positive ? BoxAnswer::Yes : BoxAnswer::No;
    }
    return BoxAnswer::Ok;
}

namespace {
class InvisibleWaitDialog final : public WaitDialog {
  public:
    void Show() override {}
    void SetProgress(int) override {}
};

class BlockingThreadWait final : public ThreadWait {
  public:
    void Beat(std::chrono::milliseconds beat) override {
        std::unique_lock lock(mutex_);
        woken_.wait_for(lock, beat, [this] { return awake_; });
    }
    void Wake() override {
        {
            std::lock_guard lock(mutex_);
            awake_ = true;
        }
        woken_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable woken_;
    bool awake_ = false;
};
}  // namespace

std::unique_ptr<ThreadWait> UserInterface::CreateThreadWait() {
    return std::make_unique<BlockingThreadWait>();
}

std::unique_ptr<WaitDialog> UserInterface::CreateWaitDialog(const WaitDialogRequest&) {
    return std::make_unique<InvisibleWaitDialog>();
}

bool PinDialogRequest::AcceptsLength(std::size_t utf8Bytes) const {
    if (!canEnter || utf8Bytes == 0 || utf8Bytes < minLength) {
        return false;
    }
    return maxLength == 0 || utf8Bytes <= maxLength;
}

PinDialogAnswer UserInterface::AskPin(const PinDialogRequest&) {
    return {};
}

std::unique_ptr<PinDialogSession> UserInterface::KeepPinDialog() {
    return nullptr;
}

void UserInterface::ShowCertificate(const CertificateViewRequest&) {}

bool CredentialsRequest::Accepts(std::string_view name) const {
    return !name.empty();
}

bool UserInterface::AskContinueDespiteCertificate(const CertificateWarningRequest&) {
    return false;
}

namespace {

bool ContinuesCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::size_t LoginCharacters(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return !ContinuesCharacter(c); }));
}

std::size_t LoginPrefixBytes(std::string_view utf8, std::size_t maxChars) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (!ContinuesCharacter(utf8[i]) && characters++ == maxChars) {
            return i;
        }
    }
    return utf8.size();
}

LoginAnswer UserInterface::AskLogin(const LoginRequest&) {
    return {};
}

PasswordAnswer UserInterface::AskPassword(const PasswordRequest&) {
    return {};
}

SaveFileAnswer UserInterface::AskSaveFile(const SaveFileRequest&) {
    return {};
}

CredentialsAnswer UserInterface::AskCredentials(const CredentialsRequest&) {
    return {};
}

void UserInterface::RunCertificateChooser(CertificateChooser& chooser) {
    chooser.Cancel();
}

OpenFileAnswer UserInterface::AskOpenFile(const OpenFileRequest&) {
    return {};
}

namespace {
std::mutex g_requesterMutex;
std::string g_requester;
}  // namespace

std::string CurrentRequester() {
    std::lock_guard lock(g_requesterMutex);
    return g_requester;
}

ScopedRequester::ScopedRequester(std::string line) {
    std::lock_guard lock(g_requesterMutex);
    g_requester = std::move(line);
}

ScopedRequester::~ScopedRequester() {
    std::lock_guard lock(g_requesterMutex);
    g_requester.clear();
}

UserInterface& CurrentUserInterface() {
    static ConsoleUserInterface console;
    UserInterface* ui = g_current.load();
    return ui != nullptr ? *ui : console;
}

void SetUserInterface(UserInterface* ui) {
    g_current.store(ui);
}

}  // namespace quillbox::ui
