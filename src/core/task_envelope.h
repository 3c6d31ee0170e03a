// Finding the task in a task document: either an envelope whose "task" element holds
// the task element, or a bare task element as the document element.
#pragma once

#include <optional>
#include <string>

#include "core/task_kind.h"
#include "platform/xml/xml_document.h"

namespace quillbox {

struct TaskEnvelope {
    TaskKind kind = TaskKind::None;
    // Unset when no task element was found; the processor then keeps its old name.
    std::optional<std::string> taskName;
    xml::XmlNode taskElement;
    // Unset when the attribute is absent, so a reused processor keeps its old value.
    std::optional<std::string> docId;
    std::optional<std::string> responseUrl;
};

TaskEnvelope ParseEnvelope(const xml::XmlDocument& document);

}  // namespace quillbox
