// Answers dialogs from a script instead of a person, and writes down every dialog it
// was shown, so tests and unattended runs see exactly what a person would have seen.
#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/ui/user_interface.h"

namespace quillbox::ui {

// Answers file: a JSON list of objects, each naming the dialog it answers and what to
// answer, for example
//   [{"dialog": "messagebox", "answer": "yes"},
//    {"dialog": "pin", "answer": "ok", "pin": "1234"}]
// Entries are used strictly in order: a dialog takes the first unused entry only when
// that entry names its kind, otherwise the entry waits and the dialog gets its default
// answer. Nothing ever waits for a person.
//
// Transcript: one JSON object per line, appended, one line per dialog shown, with the
// local time, the dialog's kind, the texts shown, the answer, and "scripted" telling
// whether the answer came from the script (false: the dialog's default).
class ScriptedUserInterface final : public UserInterface {
  public:
    // An empty answersFile means no answers (every dialog gets its default); an empty
    // transcriptFile means no transcript. Throws std::runtime_error when the answers file
    // cannot be read or is not a list of objects each with a "dialog" text, or when the
    // transcript cannot be opened for appending.
    ScriptedUserInterface(const std::filesystem::path& answersFile,
                          const std::filesystem::path& transcriptFile);
    ScriptedUserInterface(const ScriptedUserInterface&) = delete;
    ScriptedUserInterface& operator=(const ScriptedUserInterface&) = delete;

    BoxAnswer ShowMessageBox(const MessageBoxRequest& box) override;

    // Wait dialog (scripted_wait_dialog.cpp): nothing to answer; when it closes, one line
    // says whether and when it was shown.
    std::unique_ptr<WaitDialog> CreateWaitDialog(const WaitDialogRequest& request) override;

    // PIN dialog (scripted_pin_dialog.cpp): answered by {"dialog": "pin", "answer": "ok",
    // "pin": "..."} or "cancel"; the transcript never holds the PIN.
    PinDialogAnswer AskPin(const PinDialogRequest& request) override;
    // Certificate viewer (scripted_certificate_dialog.cpp): nothing to answer; the
    // transcript lists the fields shown.
    void ShowCertificate(const CertificateViewRequest& request) override;
    // Certificate warning (scripted_connection_dialogs.cpp): {"dialog": "certwarning",
    // "answer": "yes"} or "no". Credentials dialog: {"dialog": "credentials", "answer":
    // "ok", "user": "...", "password": "..."} or "cancel"; the transcript never holds the
    // password.
    bool AskContinueDespiteCertificate(const CertificateWarningRequest& request) override;
    CredentialsAnswer AskCredentials(const CredentialsRequest& request) override;
    // Certificate dialog (scripted_certificate_chooser.cpp): {"dialog": "certificates",
    // "actions": [...]}, the person's actions in order, each an object with one key:
    //   {"select": {"id": "<CertificateId>"}}  the row with that id (exact text)
    //   {"select": {"name": "<display name>"}} the first row with that display name
    //                                          (id and name together: a row matching both)
    //   {"select": "preselected"}              the row the dialog selected by itself
    //   {"showall": true|false}                clicks the check box unless it already is so
    //   {"preview": true}                      brings the preview page to the front
    //   {"view": true}                         the "View" button
    //   {"confirm": "button"|"doubleclick"}    confirms the selected row
    //   {"cancel": true}                       the cancel button
    // Actions stop once the dialog has finished ("unusedActions" counts the rest). An
    // action that cannot be done (no row matches, a disabled button, no preview page, an
    // unknown action) is written down and cancels the dialog, so a script never confirms
    // what it did not mean; so do actions that run out first, and a missing entry. One
    // line when the dialog closes (after the lines of dialogs it opened): "caption",
    // "pages", "columns", "checkBox", "buttons"; "showAll", "rows" (name, issuer,
    // validFrom, validTo, friendlyName, id) and "preselected" (row index or null) at
    // opening; "actions", each {"action": ..., ...} with the row it chose, the rows after
    // a refill, or the preview "text" (its first 2000 bytes, "length", "truncated");
    // "answer": "ok", "cancel" or "closed" (the dialog ended itself when an action failed).
    void RunCertificateChooser(CertificateChooser& chooser) override;

    // The building blocks every dialog kind uses.
    // Takes the next entry when it answers dialogKind; null when it does not or none is left.
    nlohmann::json NextAnswer(std::string_view dialogKind);
    // Writes entry (an object) as one transcript line with "time" added, and flushes it.
    // Text that is not valid UTF-8 is written with replacement characters.
    void Record(nlohmann::json entry);
    // The same with "problem" added when the script's answer could not be used as given.
    void Record(nlohmann::json entry, const std::string& problem);

    std::size_t RemainingAnswers() const;

  private:
    // Owns a file descriptor; a whole line goes out in one append, so lines of
    // several processes sharing a transcript never interleave.
    class AppendFile {
      public:
        // An empty path gives a closed file that ignores writes.
        explicit AppendFile(const std::filesystem::path& path);
        ~AppendFile();
        AppendFile(const AppendFile&) = delete;
        AppendFile& operator=(const AppendFile&) = delete;

        bool IsOpen() const { return fd_ >= 0; }
        void Write(std::string_view bytes) const;

      private:
        int fd_ = -1;
    };

    mutable std::mutex mutex_;
    std::deque<nlohmann::json> answers_;
    AppendFile transcript_;
};

// Local time as ISO 8601 with milliseconds and the offset from UTC,
// e.g. "2024-03-07T14:05:09.042+01:00".
std::string LocalTimestamp();

}  // namespace quillbox::ui
