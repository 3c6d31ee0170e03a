// quillbox-host with a stand-in for the attachment handler: it answers with the text
// of the file named by the task's "file" attribute, so tests can get answers of any
// size through the real host, pipeline and response builder.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "control/host/host_program.h"
#include "control/task_services.h"
#include "core/task_handler.h"

namespace {

class FileTextHandler final : public quillbox::TaskHandler {
  public:
    void Run(quillbox::TaskContext& task) override {
        std::optional<std::string> path = task.taskElement.Attribute("file");
        std::ifstream in(path.value_or(""), std::ios::binary);
        if (!path || !in) {
            throw std::runtime_error("no file to attach");
        }
        std::ostringstream text;
        text << in.rdbuf();
        task.outcome.attachmentName = "file.txt";
        task.outcome.attachmentContentGiven = true;
        task.outcome.attachmentContent = text.str();
    }
};

quillbox::TaskServices Services() {
    quillbox::TaskServices services = quillbox::MakeTaskServices();
    services.handlers[quillbox::TaskKind::Attachment] = std::make_unique<FileTextHandler>();
    return services;
}

}  // namespace

int main(int argc, char** argv) {
    return quillbox::host::RunHostProgram(argc, argv, Services);
}
