// Turns a task's outcome into the response document the caller hands to the web
// application.
#pragma once

#include <string>

#include "core/task_kind.h"
#include "core/task_outcome.h"

namespace quillbox {

class Base64Coder;

// The response text; empty for checkapp. For an attachment given by path the file is
// read here: its Base64 form becomes the element text; a file that cannot be opened
// raises CSignException -1 with the system error.
std::string BuildResponse(TaskKind kind, bool appResponse, TaskOutcome& outcome,
                          Base64Coder& coder);

// Bytes per read of an attachment file: a multiple of 3, so the Base64 texts of the
// chunks join into the Base64 text of the whole file.
inline constexpr std::size_t kAttachmentChunkBytes = 16191;

}  // namespace quillbox
