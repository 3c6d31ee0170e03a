#include "core/task_outcome.h"

namespace quillbox {

std::optional<std::string_view> TaskResultText(TaskResult result) {
    switch (result) {
        case TaskResult::Ok:
            return "ok";
        case TaskResult::Cancel:
            return "cancel";
        case TaskResult::Error:
            return "error";
    }
    return std::nullopt;
}

}  // namespace quillbox
