// Everything a processor of this build can do: the task handlers and the transport.
#pragma once

#include "core/task_processor.h"

namespace quillbox {

TaskServices MakeTaskServices();

}  // namespace quillbox
