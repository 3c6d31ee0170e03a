// Answers dialogs from a script instead of a person, and writes down every dialog it
// was shown, so tests and unattended runs see exactly what a person would have seen.
// The answers file and the transcript are described in answer_script.h, the entries of
// each dialog in dialog_scripts.h.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/ui/scripted/answer_script.h"
#include "platform/ui/user_interface.h"

namespace quillbox::ui {

class ScriptedUserInterface final : public UserInterface {
  public:
    // Throws std::runtime_error as AnswerScript does.
    ScriptedUserInterface(const std::filesystem::path& answersFile,
                          const std::filesystem::path& transcriptFile);

    // {"dialog": "messagebox", "answer": "ok"|"cancel"|"yes"|"no"}
    BoxAnswer ShowMessageBox(const MessageBoxRequest& box) override;
    // Nothing to answer; when it closes, one line says whether and when it was shown.
    std::unique_ptr<WaitDialog> CreateWaitDialog(const WaitDialogRequest& request) override;
    // {"dialog": "pin", "answer": "ok", "pin": "..."} or "cancel"; the transcript never
    // holds the PIN.
    PinDialogAnswer AskPin(const PinDialogRequest& request) override;
    // Nothing to answer; the transcript lists the fields shown.
    void ShowCertificate(const CertificateViewRequest& request) override;
    // {"dialog": "certwarning", "answer": "yes"} or "no".
    bool AskContinueDespiteCertificate(const CertificateWarningRequest& request) override;
    // {"dialog": "credentials", "answer": "ok", "user": "...", "password": "..."} or
    // "cancel"; the transcript never holds the password.
    CredentialsAnswer AskCredentials(const CredentialsRequest& request) override;
    // {"dialog": "login", "user": ..., "password": ..., "code": ...} (each optional) or
    // {"dialog": "login", "answer": "cancel"} (script::PlanLogin); the transcript shows the
    // secrets as '*' only (script::LoginLine).
    LoginAnswer AskLogin(const LoginRequest& request) override;
    // Enrollment dialogs: "password" (attempts, each refusal's box answered by the
    // "messagebox" entries that follow it) and "savefile" (script::PlanPassword,
    // script::PlanSaveFile); the transcript never holds a password.
    PasswordAnswer AskPassword(const PasswordRequest& request) override;
    SaveFileAnswer AskSaveFile(const SaveFileRequest& request) override;
    // {"dialog": "certificates", "actions": [...]}: the person's actions in order
    // (script::ChooserRun). One line when the dialog closes: "caption", "pages",
    // "columns", "checkBox", "buttons"; "showAll", "rows" (name, issuer, validFrom,
    // validTo, friendlyName, id) and "preselected" (row index or null) at opening;
    // "actions", each {"action": ..., ...} with the row it chose, the rows after a refill,
    // or the preview "text" (its first 2000 bytes, "length", "truncated"); "answer": "ok",
    // "cancel" or "closed" (the dialog ended itself when an action failed);
    // "unusedActions" counts actions left when the dialog finished.
    void RunCertificateChooser(CertificateChooser& chooser) override;
    // {"dialog": "openfile", "path": ...} or "cancel" (script::PlanOpenFile); a path that
    // is not an existing regular file is refused as the real dialog refuses it.
    OpenFileAnswer AskOpenFile(const OpenFileRequest& request) override;

    // Ends a pause before an answer at once; see StepPause.
    void GiveUp() override;

    nlohmann::json NextAnswer(std::string_view dialogKind) {
        return script_.NextAnswer(dialogKind);
    }
    void Record(nlohmann::json entry) { script_.Record(std::move(entry)); }
    std::size_t RemainingAnswers() const { return script_.RemainingAnswers(); }

  private:
    // Waits StepPause() as the person thinks; false once the page has gone.
    bool Thinks();
    // The same before a dialog's answer; when the page has gone, the dialog's line says
    // it was cancelled.
    bool Answers(std::string_view dialogKind);

    AnswerScript script_;
    std::mutex pauseMutex_;
    std::condition_variable givenUpSignal_;
};

}  // namespace quillbox::ui
