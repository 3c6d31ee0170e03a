// The PDF area task: the external signer lets the person mark an area of a PDF document
// (where a visible signature goes) and the page gets the signer's description of it.
#pragma once

#include <string>

#include "core/task_handler.h"

namespace quillbox::attach {

class PdfAreaHandler final : public TaskHandler {
  public:
    void Run(TaskContext& task) override;

  private:
    // A later task of the same page may leave out the document and mean this one.
    std::string pdfPath_;
};

}  // namespace quillbox::attach
