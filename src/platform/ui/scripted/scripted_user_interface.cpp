#include "platform/ui/scripted/scripted_user_interface.h"

#include <utility>

#include "platform/ui/scripted/dialog_scripts.h"
#include "platform/ui/scripted/enroll_scripts.h"
#include "platform/ui/scripted/file_scripts.h"

namespace quillbox::ui {

namespace {

class ScriptedWaitDialog final : public WaitDialog {
  public:
    ScriptedWaitDialog(AnswerScript& script, WaitDialogRequest request)
        : script_(script), request_(std::move(request)) {}
    ~ScriptedWaitDialog() override { script_.Record(notes_.Line(request_)); }
    void Show() override { notes_.Shown(); }
    void SetProgress(int position) override { notes_.Progress(position); }

  private:
    AnswerScript& script_;
    WaitDialogRequest request_;
    script::WaitNotes notes_;
};

// The chooser's own state is what the person sees.
class DirectChooserActor final : public script::ChooserActor {
  public:
    explicit DirectChooserActor(CertificateChooser& chooser) : chooser_(chooser) {}

    CertificateChooserTexts Texts() const override { return chooser_.Texts(); }
    bool HasPreviewPage() const override { return chooser_.HasPreviewPage(); }
    std::string Requester() const override { return CurrentRequester(); }
    std::vector<CertificateRow> Rows() const override { return chooser_.Rows(); }
    std::string EmptyNote() const override {
        return chooser_.Rows().empty() ? chooser_.Texts().emptyList : std::string();
    }
    std::optional<std::size_t> Selection() const override { return chooser_.Selection(); }
    bool ShowAll() const override { return chooser_.ShowAll(); }
    bool ConfirmEnabled() const override { return chooser_.CanConfirm(); }
    bool Finished() const override { return chooser_.Finished(); }

    void Select(std::size_t row) override { chooser_.Select(row); }
    void ClickShowAll() override { chooser_.SetShowAll(!chooser_.ShowAll()); }
    std::optional<std::string> ShowPreview() override { return chooser_.PreviewShown(); }
    void ClickView() override { chooser_.View(); }
    void ClickConfirm() override { chooser_.Confirm(); }
    void DoubleClick(std::size_t row) override { chooser_.DoubleClick(row); }
    void ClickCancel() override { chooser_.Cancel(); }

  private:
    CertificateChooser& chooser_;
};

}  // namespace

ScriptedUserInterface::ScriptedUserInterface(const std::filesystem::path& answersFile,
                                             const std::filesystem::path& transcriptFile)
    : script_(answersFile, transcriptFile) {
    script_.AddRequesterToLines();
}

void ScriptedUserInterface::GiveUp() {
    {
        std::lock_guard lock(pauseMutex_);
        UserInterface::GiveUp();
    }
    givenUpSignal_.notify_all();
}

bool ScriptedUserInterface::Thinks() {
    std::unique_lock lock(pauseMutex_);
    givenUpSignal_.wait_for(lock, StepPause(), [this] { return GivenUp(); });
    return !GivenUp();
}

bool ScriptedUserInterface::Answers(std::string_view dialogKind) {
    if (Thinks()) {
        return true;
    }
    script_.Record({{"dialog", dialogKind}, {"answer", "cancel"}, {"givenUp", true}});
    return false;
}

BoxAnswer ScriptedUserInterface::ShowMessageBox(const MessageBoxRequest& box) {
    if (!Thinks()) {
        const BoxAnswer answer = CancelAnswerOf(box.buttons);
        script_.Record({{"dialog", script::kMessageBox},
                        {"answer", script::AnswerName(answer)},
                        {"givenUp", true}});
        return answer;
    }
    const script::BoxPlan plan = script::PlanMessageBox(script_, box);
    script_.Record(script::MessageBoxLine(box, plan.answer, plan.scripted), plan.problem);
    return plan.answer;
}

std::unique_ptr<WaitDialog> ScriptedUserInterface::CreateWaitDialog(
    const WaitDialogRequest& request) {
    return std::make_unique<ScriptedWaitDialog>(script_, request);
}

PinDialogAnswer ScriptedUserInterface::AskPin(const PinDialogRequest& request) {
    if (!Answers(script::kPinDialog)) {
        return {};
    }
    script::PinPlan plan = script::PlanPin(script_, request);
    script_.Record(script::PinLine(request, plan.confirm, plan.scripted), plan.problem);
    PinDialogAnswer answer;
    answer.confirmed = plan.confirm;
    if (plan.confirm) {
        answer.pin = std::move(plan.pin);
    }
    return answer;
}

void ScriptedUserInterface::ShowCertificate(const CertificateViewRequest& request) {
    script_.Record(script::ViewerLine(script_, request));
}

bool ScriptedUserInterface::AskContinueDespiteCertificate(
    const CertificateWarningRequest& request) {
    if (!Answers(script::kCertWarning)) {
        return false;
    }
    const script::WarningPlan plan = script::PlanCertificateWarning(script_);
    script_.Record(script::CertificateWarningLine(request, plan.goOn, plan.scripted), plan.problem);
    return plan.goOn;
}

CredentialsAnswer ScriptedUserInterface::AskCredentials(const CredentialsRequest& request) {
    if (!Answers(script::kCredentials)) {
        return {};
    }
    script::CredentialsPlan plan = script::PlanCredentials(script_, request);
    script_.Record(script::CredentialsLine(request, plan.userName, plan.confirm, plan.scripted),
                   plan.problem);
    CredentialsAnswer answer;
    answer.confirmed = plan.confirm;
    if (plan.confirm) {
        answer.userName = std::move(plan.userName);
        answer.password = std::move(plan.password);
    }
    return answer;
}

LoginAnswer ScriptedUserInterface::AskLogin(const LoginRequest& request) {
    if (!Answers(script::kLogin)) {
        return {};
    }
    script::LoginPlan plan = script::PlanLogin(script_, request);
    // The fields as the person leaves them: what was typed, else the prefill.
    LoginAnswer answer;
    answer.userName = plan.user.value_or(request.userName);
    answer.password =
        plan.password ? std::move(*plan.password) : secret::SecretText(request.passwordText.view());
    if (plan.code) {
        answer.code = std::move(*plan.code);
    }
    const script::LoginFieldsSeen seen{answer.userName, LoginCharacters(answer.password.view()),
                                       LoginCharacters(answer.code.view())};
    script_.Record(script::LoginLine(request, seen, plan.confirm, plan.scripted), plan.problem);
    if (!plan.confirm) {
        return {};
    }
    answer.confirmed = true;
    return answer;
}

PasswordAnswer ScriptedUserInterface::AskPassword(const PasswordRequest& request) {
    if (!Answers(script::kPassword)) {
        return {};
    }
    script::PasswordPlan plan = script::PlanPassword(script_, request);
    PasswordAnswer answer;
    std::size_t pressed = 0;
    for (script::PasswordAttempt& attempt : plan.attempts) {
        ++pressed;
        if (!request.accept ||
            request.accept(attempt.password.view(), attempt.confirmation.view())) {
            answer.confirmed = true;
            answer.password = std::move(attempt.password);
            break;
        }
    }
    script_.Record(script::PasswordLine(request, pressed, answer.confirmed, plan.scripted),
                   plan.problem);
    return answer;
}

SaveFileAnswer ScriptedUserInterface::AskSaveFile(const SaveFileRequest& request) {
    if (!Answers(script::kSaveFile)) {
        return {SaveFileOutcome::Cancelled, {}};
    }
    script::SaveFilePlan plan = script::PlanSaveFile(script_, request);
    SaveFileAnswer answer{plan.outcome, std::move(plan.path)};
    script_.Record(script::SaveFileLine(request, answer, plan.scripted), plan.problem);
    return answer;
}

void ScriptedUserInterface::RunCertificateChooser(CertificateChooser& chooser) {
    DirectChooserActor actor(chooser);
    script::ChooserRun run(script_, actor);
    chooser.Open();
    run.Opened();
    while (!chooser.Finished() && Thinks() && run.Step()) {
    }
    run.Close(GivenUp());
}

OpenFileAnswer ScriptedUserInterface::AskOpenFile(const OpenFileRequest& request) {
    if (!Answers(script::kOpenFile)) {
        return {};
    }
    script::OpenFilePlan plan = script::PlanOpenFile(script_);
    OpenFileAnswer answer;
    if (plan.choose && !IsChoosableFile(plan.path)) {
        plan.problem = "the dialog does not take " + plan.path + ": not an existing regular file";
    } else if (plan.choose) {
        answer = {true, std::move(plan.path)};
    }
    script_.Record(script::OpenFileLine(request, answer, plan.scripted), plan.problem);
    return answer;
}

}  // namespace quillbox::ui
