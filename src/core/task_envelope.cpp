#include "core/task_envelope.h"

namespace quillbox {

TaskEnvelope ParseEnvelope(const xml::XmlDocument& document) {
    TaskEnvelope envelope;
    xml::XmlNode root = document.Root();
    xml::XmlNode taskElement;
    if (root && root.LocalName() == "Envelope") {
        xml::XmlNode task = document.SelectFirst("//task");
        if (!task) {
            return envelope;
        }
        // The task element must open right after "<task>". When something else comes
        // first (white space of a pretty-printed document, a comment), there is no task
        // element to read, which is answered like an envelope without a task.
        xml::XmlNode first = task.FirstChild();
        if (!first.IsElement()) {
            return envelope;
        }
        taskElement = first;
    } else {
        taskElement = root;
    }
    if (!taskElement) {
        return envelope;
    }
    envelope.taskElement = taskElement;
    envelope.taskName = taskElement.LocalName();
    envelope.docId = taskElement.Attribute("doc-id");
    envelope.responseUrl = taskElement.Attribute("response-url");
    envelope.kind = TaskKindFromName(*envelope.taskName);
    return envelope;
}

}  // namespace quillbox
