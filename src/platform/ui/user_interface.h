// Everything the plug-in shows a person goes through this interface, so that the
// rules of the system run unchanged with Qt dialogs, a script, or no display at all.
//
// Threads and dialogs: the one rule.
// - Windows live on one thread, the dialog thread: for Qt the thread that made the
//   QApplication (the command line's and the native host's main thread; the JNI library's
//   own Qt thread). The script and the console answer on whatever thread asks.
// - Any thread may call any UserInterface method. A front end with a dialog thread runs the
//   dialog there and blocks the calling thread until it is answered (qt_gui_thread.h).
// - So the dialog thread never blocks on another thread with a bare wait (a condition
//   variable, a join, a sleep) while that thread may ask for a dialog: it waits through a
//   ThreadWait from CreateThreadWait, which serves the other threads' dialogs meanwhile.
//   The background download (task document and preview) waits that way on the thread that
//   runs the task.
// - Threads that never ask for a dialog and are never waited on by the dialog thread may
//   block as they like: the native host's reader of standard input, the Java threads that
//   call the JNI library (their tasks' dialogs run on the library's Qt thread).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/secret/secret_text.h"
#include "platform/ui/certificate_chooser.h"
#include "platform/ui/enroll_dialogs.h"
#include "platform/ui/file_dialogs.h"

namespace quillbox::ui {

enum class BoxIcon { Information, Warning, Error, Question };
enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// Words on a box's buttons; an empty one keeps the platform's standard word. Lets the
// plug-in show its own localised words instead of the desktop's language.
struct BoxButtonTexts {
    std::string ok{};
    std::string cancel{};
    std::string yes{};
    std::string no{};
};

struct MessageBoxRequest {
    BoxIcon icon = BoxIcon::Information;
    BoxButtons buttons = BoxButtons::Ok;
    std::string caption{};  // UTF-8
    std::string text{};     // UTF-8, may hold line breaks
    // The answer a person gets by pressing Enter or Escape, and the one given when
    // nobody can answer (no script entry left).
    BoxAnswer defaultAnswer = BoxAnswer::Ok;
    BoxButtonTexts buttonTexts{};
};

// Whether a box with these buttons offers that answer.
bool BoxOffers(BoxButtons buttons, BoxAnswer answer);

// The box's default answer fitted to its buttons: defaultAnswer when the box offers it,
// otherwise the matching button (Yes for Ok, No for Cancel and back), so a request with
// an unfitting default still gets an answer its caller can handle.
BoxAnswer DefaultAnswerOf(const MessageBoxRequest& box);

// ---- Wait dialog: a modeless window with a text line, a progress bar and the plug-in's
// icon, kept alive by a thread that waits for a download. It is created hidden; the
// waiting thread decides when to show it and repaints it itself, because it does not
// run an event loop while it waits.
struct WaitDialogRequest {
    std::string caption{};  // UTF-8
    std::string text{};     // UTF-8, the text line
};

class WaitDialog {
  public:
    virtual ~WaitDialog() = default;  // closes the window
    // Shows the window and paints it at once.
    virtual void Show() = 0;
    // Moves the bar (0 to 100) and paints it at once.
    virtual void SetProgress(int position) = 0;
};

// ---- PIN dialog: asks for the PIN of a token before a signature, naming the token and
// the certificate about to sign, and showing the token's warnings. The PIN travels in the
// answer as a secret, wiped when it goes.
struct PinDialogRequest {
    std::string caption{};      // UTF-8
    std::string tokenLabel{};   // the token asking for its PIN
    std::string prompt{};       // "PIN for the token ...:"
    std::string certificate{};  // "Certificate: ...", the one about to sign; empty: none
    // Wrong PIN, few attempts left, last attempt, locked.
    std::vector<std::string> warnings{};
    // False for a locked token: the person can only close the dialog.
    bool canEnter = true;
    // The PIN lengths the token accepts; a maxLength of 0 means no upper limit.
    std::size_t minLength = 0;
    std::size_t maxLength = 0;
    std::string okText{};
    std::string cancelText{};

    // Whether the confirm button accepts this PIN. A front end that holds the typed text
    // in its own form asks with its length in UTF-8 bytes, so that it makes no copy.
    bool Accepts(std::string_view pin) const { return AcceptsLength(pin.size()); }
    bool AcceptsLength(std::size_t utf8Bytes) const;
};

struct PinDialogAnswer {
    bool confirmed = false;
    secret::SecretText pin{};  // UTF-8
};

// While one lives, the PIN dialog stays on screen between the questions of one login (a
// wrong PIN asks again): the person sees the same window, cleared, with the new warning,
// instead of one closing and another opening elsewhere. It closes when the last one goes.
class PinDialogSession {
  public:
    virtual ~PinDialogSession() = default;
};

// ---- Certificate viewer: the fields of one certificate and, behind a "Details" toggle,
// its PEM text with a copy button; a close button and nothing to decide.
struct CertificateViewRequest {
    std::string caption{};
    std::vector<std::pair<std::string, std::string>> fields{};  // name, value (UTF-8)
    std::string pem{};
    std::string closeText{};
    std::string detailsText{};  // the toggle; empty: the front end's own word
    std::string copyText{};
};

// ---- Certificate warning: the server's certificate has a problem (or a redirect leaves
// TLS); names the problem and the host and asks whether to go on. Default answer: no.
struct CertificateWarningRequest {
    std::string caption{};
    std::string problem{};  // what is wrong, UTF-8
    std::string host{};
    std::string question{};  // "Do you want to continue?"
    std::string yesText{};
    std::string noText{};
};

// ---- Credentials dialog: a server (401) or a proxy (407) asks for a user name and a
// password. The password travels in the answer as a secret, wiped when it goes.
struct CredentialsRequest {
    std::string caption{};
    std::string prompt{};  // names the server
    std::string userNameLabel{};
    std::string passwordLabel{};
    std::string userName{};  // filled in beforehand
    std::string okText{};
    std::string cancelText{};

    // Whether OK accepts these entries: a user name is required.
    bool Accepts(std::string_view userName) const;
};

struct CredentialsAnswer {
    bool confirmed = false;
    std::string userName{};
    secret::SecretText password{};  // UTF-8
};

// ---- Login dialog: a server of the data-box kind asks for a user name, a password and,
// for one-time-code logins, a code. Which fields are shown and enabled, their prefills and
// the button's text are decided before the dialog opens (net/send/login_dialog.h); the
// front end draws them and gives back what was typed. Secrets travel as SecretText.
struct LoginField {
    std::string cue{};    // grey text in the empty field ("User name")
    std::string label{};  // "User name:", for front ends that show labels; may stay unused
    bool shown = true;
    bool enabled = true;
    bool masked = false;  // shown as '*'
};

struct LoginRequest {
    std::string caption{};
    std::string heading{};        // "Server requires authentication data."; may stay unused
    std::string serverLine{};     // "The server forms.example is asking for ..."
    std::string serverMessage{};  // the server's own words, shown in red; empty: no line
    LoginField user{}, password{}, code{};
    std::string userName{};             // prefill of the user field
    secret::SecretText passwordText{};  // prefill of the password field
    bool focusOnCode = false;           // else the focus starts in the user field
    // Most characters (not bytes) a field takes; the widget itself refuses more.
    std::size_t maxChars = 100;
    std::string okText{};
    std::string cancelText{};
};

// Characters as maxChars counts them: UTF-8 characters, not bytes.
std::size_t LoginCharacters(std::string_view utf8);
// The bytes of the first maxChars characters of utf8, so that a cut never splits one.
std::size_t LoginPrefixBytes(std::string_view utf8, std::size_t maxChars);

struct LoginAnswer {
    bool confirmed = false;
    // The fields' texts as they stand when OK was pressed (empty when left empty).
    std::string userName{};
    secret::SecretText password{};
    secret::SecretText code{};
};

// One thread waiting for another: a beat at a time, so the waiting thread can animate
// the wait dialog between beats.
class ThreadWait {
  public:
    virtual ~ThreadWait() = default;
    // Blocks the calling thread for at most beat, less once Wake has been called (from
    // then on every Beat returns at once). Dialogs that other threads ask for meanwhile
    // are shown and answered.
    virtual void Beat(std::chrono::milliseconds beat) = 0;
    // From any thread. Must not race with the object's destruction.
    virtual void Wake() = 0;
};

class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // A wait for the calling thread. The default blocks on a condition variable, which
    // is right for every thread that is not a dialog thread.
    virtual std::unique_ptr<ThreadWait> CreateThreadWait();

    // Blocks the calling thread until the box is closed and returns the button pressed.
    virtual BoxAnswer ShowMessageBox(const MessageBoxRequest& box) = 0;

    // Wait dialog. The default gives a dialog that never shows anything.
    virtual std::unique_ptr<WaitDialog> CreateWaitDialog(const WaitDialogRequest& request);

    // PIN dialog. The default answers cancel without showing anything.
    virtual PinDialogAnswer AskPin(const PinDialogRequest& request);
    // Keeps the PIN dialog between questions; must not outlive this object. The default
    // keeps nothing (null).
    virtual std::unique_ptr<PinDialogSession> KeepPinDialog();
    // Certificate viewer. The default shows nothing.
    virtual void ShowCertificate(const CertificateViewRequest& request);
    // Certificate warning: true to go on. The default answers no without showing anything.
    virtual bool AskContinueDespiteCertificate(const CertificateWarningRequest& request);
    // Credentials dialog. The default answers cancel without showing anything.
    virtual CredentialsAnswer AskCredentials(const CredentialsRequest& request);
    // Login dialog. The default answers cancel without showing anything.
    virtual LoginAnswer AskLogin(const LoginRequest& request);
    // Password dialog of the enrollment tasks. The default cancels without showing anything.
    virtual PasswordAnswer AskPassword(const PasswordRequest& request);
    // Save dialog. The default cancels without showing anything.
    virtual SaveFileAnswer AskSaveFile(const SaveFileRequest& request);
    // Certificate dialog: shows the chooser modally and returns once chooser.Finished().
    // The default cancels without showing anything.
    virtual void RunCertificateChooser(CertificateChooser& chooser);
    // Open-file dialog. The default answers cancel without showing anything.
    virtual OpenFileAnswer AskOpenFile(const OpenFileRequest& request);

    // ---- Giving up: whoever asked for the task went away (the page closed the host's
    // input), so nobody waits for its answers. From any thread, once: every open dialog
    // closes with its cancel answer, and every later ask gets its cancel answer at once,
    // without showing anything. There is no way back. Front ends with dialogs of their
    // own extend it and call this one.
    virtual void GiveUp();
    bool GivenUp() const { return givenUp_.load(); }
    // The answer that cancels a box: Cancel or No where offered, else its only Ok.
    static BoxAnswer CancelAnswerOf(BoxButtons buttons);

  private:
    std::atomic<bool> givenUp_{false};
};

// Stand-in when no front end installed a user interface (a library caller without
// a display): boxes go to standard error and get their default answer.
class ConsoleUserInterface final : public UserInterface {
  public:
    BoxAnswer ShowMessageBox(const MessageBoxRequest& box) override;
};

// Who asks: a task that a web page started names the page in every dialog, on a line of
// its own ("Requested by forms.example"), so a person knows which page wants a signature
// or a login. Tasks from the command line and from Java name nobody (empty text).
std::string CurrentRequester();
// Sets the line for the dialogs of one call, on the thread that serves it.
class ScopedRequester {
  public:
    explicit ScopedRequester(std::string line);
    ~ScopedRequester();
    ScopedRequester(const ScopedRequester&) = delete;
    ScopedRequester& operator=(const ScopedRequester&) = delete;
};

// The process-wide user interface used by logging and the task handlers. Never null:
// without SetUserInterface it is a ConsoleUserInterface. The caller keeps ownership
// and must reset it (nullptr) before destroying the object.
UserInterface& CurrentUserInterface();
void SetUserInterface(UserInterface* ui);

}  // namespace quillbox::ui
