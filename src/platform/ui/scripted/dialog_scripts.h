// How an answers-file entry answers each kind of dialog, and the transcript line each
// dialog leaves. The scripted person and the driver of the real Qt windows both use these,
// so a transcript made one way can be compared with one made the other way. The "seen"
// requests are what the dialog showed: the scripted person passes the request it was
// given, the Qt driver the texts it read back from the widgets.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/secret/secret_text.h"
#include "platform/ui/scripted/answer_script.h"
#include "platform/ui/user_interface.h"

namespace quillbox::ui::script {

inline constexpr std::string_view kMessageBox = "messagebox";
inline constexpr std::string_view kPinDialog = "pin";
inline constexpr std::string_view kCredentials = "credentials";
inline constexpr std::string_view kCertWarning = "certwarning";
inline constexpr std::string_view kViewer = "certificate";
inline constexpr std::string_view kWaitDialog = "wait";
inline constexpr std::string_view kCertificates = "certificates";
inline constexpr std::string_view kLogin = "login";

std::string_view AnswerName(BoxAnswer answer);

// What the script decided. scripted is false when no entry answered the dialog (its
// default answer follows); problem says why an entry could not be used as given.
struct Plan {
    bool scripted = false;
    std::string problem;
};

struct BoxPlan : Plan {
    BoxAnswer answer = BoxAnswer::Ok;
};
BoxPlan PlanMessageBox(AnswerScript& script, const MessageBoxRequest& box);
nlohmann::json MessageBoxLine(const MessageBoxRequest& seen, BoxAnswer answer, bool scripted);

struct PinPlan : Plan {
    bool confirm = false;
    secret::SecretText pin;  // what to type
};
PinPlan PlanPin(AnswerScript& script, const PinDialogRequest& request);
nlohmann::json PinLine(const PinDialogRequest& seen, bool confirmed, bool scripted);

struct CredentialsPlan : Plan {
    bool confirm = false;
    std::string userName;
    secret::SecretText password;
};
CredentialsPlan PlanCredentials(AnswerScript& script, const CredentialsRequest& request);
nlohmann::json CredentialsLine(const CredentialsRequest& seen, const std::string& userName,
                               bool confirmed, bool scripted);

// {"dialog": "login", "user": "...", "password": "...", "code": "..."}: each value given is
// typed into its field (replacing the prefill), then OK; an omitted value leaves its field
// as it is. {"dialog": "login", "answer": "cancel"} cancels. A value for a field a person
// cannot type in (hidden or disabled) is dropped and written down as a problem; so is the
// part of a value beyond the field's maxChars, which the field refuses.
struct LoginPlan : Plan {
    bool confirm = false;
    std::optional<std::string> user;
    std::optional<secret::SecretText> password;
    std::optional<secret::SecretText> code;

    // Adds a note to problem.
    void Note(const std::string& note);
};
LoginPlan PlanLogin(AnswerScript& script, const LoginRequest& request);

// The fields as they stand when the dialog closes; only the length of the secrets.
struct LoginFieldsSeen {
    std::string user;
    std::size_t passwordChars = 0;
    std::size_t codeChars = 0;
};
// "texts": the server line and the server's message (when shown); "fields": for "user",
// "password" and "code" the "text" a person sees (the secrets as one '*' per character),
// "shown" and "enabled"; "ok": the confirm button's text.
nlohmann::json LoginLine(const LoginRequest& seen, const LoginFieldsSeen& fields, bool confirmed,
                         bool scripted);

struct WarningPlan : Plan {
    bool goOn = false;
};
WarningPlan PlanCertificateWarning(AnswerScript& script);
nlohmann::json CertificateWarningLine(const CertificateWarningRequest& seen, bool goOn,
                                      bool scripted);

// The viewer has nothing to answer; an entry for it is only used up.
nlohmann::json ViewerLine(AnswerScript& script, const CertificateViewRequest& seen);

// Notes on a wait dialog, written as one line when it closes.
class WaitNotes {
  public:
    void Shown();
    void Progress(int position);
    nlohmann::json Line(const WaitDialogRequest& seen) const;

  private:
    std::chrono::milliseconds Elapsed() const;

    const std::chrono::steady_clock::time_point created_ = std::chrono::steady_clock::now();
    std::optional<std::chrono::milliseconds> shownAfter_;
    std::string shownAt_;
    int updates_ = 0;
    int lastPosition_ = 0;
    int restarts_ = 0;
};

// ---- The certificate dialog: what a person can see of it and do with it.
class ChooserActor {
  public:
    virtual ~ChooserActor() = default;
    virtual CertificateChooserTexts Texts() const = 0;
    virtual bool HasPreviewPage() const = 0;
    // The line naming the page that asks; empty when none is shown.
    virtual std::string Requester() const = 0;
    virtual std::vector<CertificateRow> Rows() const = 0;
    // The words shown in place of an empty list; empty while rows are listed.
    virtual std::string EmptyNote() const = 0;
    virtual std::optional<std::size_t> Selection() const = 0;
    virtual bool ShowAll() const = 0;
    virtual bool ConfirmEnabled() const = 0;
    virtual bool Finished() const = 0;

    virtual void Select(std::size_t row) = 0;
    virtual void ClickShowAll() = 0;
    // Brings the preview page to the front; the text it shows then, nothing when empty.
    virtual std::optional<std::string> ShowPreview() = 0;
    virtual void ClickView() = 0;
    virtual void ClickConfirm() = 0;
    virtual void DoubleClick(std::size_t row) = 0;
    virtual void ClickCancel() = 0;
};

// Plays one "certificates" entry against an open dialog, an action at a time, and writes
// the dialog's line. Actions:
//   {"select": {"id": "<CertificateId>"}}  the row with that id (exact text)
//   {"select": {"name": "<display name>"}} the first row with that display name
//                                          (id and name together: a row matching both)
//   {"select": "preselected"}              the row the dialog selected by itself
//   {"showall": true|false}                clicks the check box unless it already is so
//   {"preview": true}                      brings the preview page to the front
//   {"view": true}                         the "View" button
//   {"confirm": "button"|"doubleclick"}    confirms the selected row
//   {"cancel": true}                       the cancel button
// An action that cannot be done (no row matches, a disabled button, no preview page, an
// unknown action) is written down and cancels the dialog, so a script never confirms
// what it did not mean; so do actions that run out first, and a missing entry.
class ChooserRun {
  public:
    // Takes the dialog's entry from the script.
    ChooserRun(AnswerScript& script, ChooserActor& actor);
    // A run left without Close ended because the page went away (the real window was
    // closed under the driver): its line is written then.
    ~ChooserRun();
    ChooserRun(const ChooserRun&) = delete;
    ChooserRun& operator=(const ChooserRun&) = delete;
    // When the window has opened and shows its first listing.
    void Opened();
    // Does the next action; false once nothing more is to be done. The caller then calls
    // Close, which cancels a dialog that is still open.
    bool Step();
    // Cancels the dialog if nothing finished it, and writes its line (after the lines of
    // dialogs it opened). givenUp: the page went away, so the cancel is nobody's fault.
    void Close(bool givenUp = false);

  private:
    std::string Perform(const nlohmann::json& action);
    std::string SelectRow(const nlohmann::json& value, nlohmann::json& step);
    std::string ConfirmRow(bool byButton, nlohmann::json& step);

    AnswerScript& script_;
    ChooserActor& actor_;
    nlohmann::json entry_;
    nlohmann::json record_;
    std::optional<std::size_t> preselected_;
    std::size_t next_ = 0;
    std::string problem_;
    std::string answer_;
    nlohmann::json steps_ = nlohmann::json::array();
    bool closed_ = false;
};

}  // namespace quillbox::ui::script
