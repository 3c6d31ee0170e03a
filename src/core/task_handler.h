// A task handler performs one kind of task: it reads its parameters from the task
// document, talks to the person through the dialog seam and fills the outcome.
#pragma once

#include <map>
#include <memory>

#include "core/task_kind.h"
#include "core/task_outcome.h"
#include "platform/xml/xml_document.h"

namespace quillbox {

class Base64Coder;

// What a handler sees of the current task.
struct TaskContext {
    TaskKind kind;
    const xml::XmlDocument& document;
    xml::XmlNode taskElement;
    TaskOutcome& outcome;
    Base64Coder& base64;
};

class TaskHandler {
  public:
    virtual ~TaskHandler() = default;
    // Failures are raised (CSignException or a standard exception); cancellation and
    // soft failures are reported through outcome.result.
    virtual void Run(TaskContext& task) = 0;
};

// One handler object per kind and per processor: a handler keeps what later tasks of
// the same page need (the enrollment key between request and PFX, for example).
using HandlerTable = std::map<TaskKind, std::unique_ptr<TaskHandler>>;

}  // namespace quillbox
