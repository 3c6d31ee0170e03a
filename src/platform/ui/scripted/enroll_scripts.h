// How answers-file entries answer the enrollment dialogs, and the transcript lines they
// leave; shared by the scripted person and the driver of the real Qt windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/secret/secret_text.h"
#include "platform/ui/scripted/answer_script.h"
#include "platform/ui/scripted/dialog_scripts.h"
#include "platform/ui/user_interface.h"

namespace quillbox::ui::script {

inline constexpr std::string_view kPassword = "password";
inline constexpr std::string_view kSaveFile = "savefile";

// {"dialog": "password", "attempts": [{"password": "...", "confirm": "..."}, ...]}: each
// attempt is typed (the confirmation, when shown, defaults to the password) and OK pressed;
// a refused attempt leaves the dialog open for the next one, and when none is left the
// dialog is cancelled. {"dialog": "password", "password": "..."} is one attempt;
// {"dialog": "password", "answer": "cancel"} cancels. Characters beyond maxChars are
// refused by the field and written down as a problem.
struct PasswordAttempt {
    secret::SecretText password;
    secret::SecretText confirmation;
};
struct PasswordPlan : Plan {
    std::vector<PasswordAttempt> attempts;
};
PasswordPlan PlanPassword(AnswerScript& script, const PasswordRequest& request);
// "texts": the labels shown; "attempts": how many times OK was pressed; never a password.
nlohmann::json PasswordLine(const PasswordRequest& seen, std::size_t attempts, bool confirmed,
                            bool scripted);

// {"dialog": "savefile", "path": "..."} chooses that path (the default suffix added to a
// name without one); {"dialog": "savefile", "answer": "cancel"} cancels; {"dialog":
// "savefile", "answer": "fail"} stands for a dialog that could not be shown.
struct SaveFilePlan : Plan {
    SaveFileOutcome outcome = SaveFileOutcome::Cancelled;
    std::string path;
};
SaveFilePlan PlanSaveFile(AnswerScript& script, const SaveFileRequest& request);
nlohmann::json SaveFileLine(const SaveFileRequest& seen, const SaveFileAnswer& answer,
                            bool scripted);

}  // namespace quillbox::ui::script
