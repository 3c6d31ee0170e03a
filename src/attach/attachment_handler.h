// The attachment task: a file the person picks, or a document scanned to PDF, handed to
// the page in Base64.
#pragma once

#include <string>
#include <string_view>

#include "attach/scan_accessory.h"
#include "core/task_handler.h"

namespace quillbox::attach {

class AttachmentHandler final : public TaskHandler {
  public:
    explicit AttachmentHandler(ScanAccessoryFactory accessory) : accessory_(std::move(accessory)) {}
    void Run(TaskContext& task) override;

  private:
    // The task result the scan leaves; 2 sends the person to the file dialog.
    std::int32_t Scan(TaskContext& task, std::int32_t dpi);

    ScanAccessoryFactory accessory_;
};

// The name a page has always been given: each UTF-8 byte of the file's name read as one
// Latin-1 character (so ASCII names arrive unchanged), returned as UTF-8. Characters XML
// cannot carry (C0 controls and DEL) become '_'.
std::string AttachmentName(std::string_view fileName);

// Registers the task handlers of this folder.
void AddAttachTaskHandlers(HandlerTable& handlers,
                           ScanAccessoryFactory accessory = NoScanAccessory);

// The "dpi" attribute: a decimal number of dots per inch; anything else, 0.
std::int32_t ParseResolution(std::string_view text);

}  // namespace quillbox::attach
