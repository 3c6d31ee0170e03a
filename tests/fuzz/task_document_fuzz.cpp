// Arbitrary bytes as a task text: loading, finding the task and answering must never
// crash, whatever the page or a server sends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/task_processor.h"
#include "platform/ui/user_interface.h"

namespace {

class SilentUserInterface final : public quillbox::ui::UserInterface {
public:
    quillbox::ui::BoxAnswer ShowMessageBox(const quillbox::ui::MessageBoxRequest& box) override {
        return box.defaultAnswer;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SilentUserInterface ui;
    quillbox::ui::SetUserInterface(&ui);
    static quillbox::TaskProcessor processor;  // reused, as a page reuses its processor
    std::string response;
    quillbox::ExecuteOptions options;
    options.documentGiven = true;
    options.appResponse = size > 0 && (data[0] & 1) != 0;
    processor.ExecuteTask(std::string(reinterpret_cast<const char*>(data), size), response,
                          options);
    return 0;
}
