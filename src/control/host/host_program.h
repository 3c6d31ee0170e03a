// The native messaging host as a program: what its main does, with the task services
// given by the caller.
#pragma once

#include <functional>

#include "core/task_processor.h"

namespace quillbox::host {

// argv[1] is the caller's origin ("chrome-extension://ID/"). Standard input and output
// carry the messages; nothing else of the process may use them.
int RunHostProgram(int argc, char** argv, const std::function<TaskServices()>& makeServices);

}  // namespace quillbox::host
