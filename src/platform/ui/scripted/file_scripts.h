// How an answers-file entry answers the file dialogs, and the transcript line each leaves;
// shared by the scripted person and the driver of the real Qt windows (dialog_scripts.h).
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/ui/file_dialogs.h"
#include "platform/ui/scripted/dialog_scripts.h"

namespace quillbox::ui::script {

inline constexpr std::string_view kOpenFile = "openfile";

// {"dialog": "openfile", "path": "/folder/file"} picks that file (a relative path counts
// from the current folder); {"dialog": "openfile", "answer": "cancel"} cancels. A path the
// dialog does not take (missing, not a regular file) is written down and cancels.
struct OpenFilePlan : Plan {
    bool choose = false;
    std::string path;  // absolute
};
OpenFilePlan PlanOpenFile(AnswerScript& script);
// "caption"; "path": the file chosen, empty on cancel; "answer": "ok" or "cancel".
nlohmann::json OpenFileLine(const OpenFileRequest& seen, const OpenFileAnswer& answer,
                            bool scripted);

}  // namespace quillbox::ui::script
