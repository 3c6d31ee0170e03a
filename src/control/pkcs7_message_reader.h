// The pipeline's reader of task documents: the task text is the content of a PKCS #7
// signed-data message. The signature is not verified; only the content is used.
#pragma once

#include "core/task_source.h"

namespace quillbox::control {

class Pkcs7MessageReader final : public SignedMessageReader {
  public:
    std::optional<std::string> Content(std::string_view message) override;
};

}  // namespace quillbox::control
