// The person cancelled a prompt the engine needed (the PIN prompt). Not an error: the sign
// handler answers such a task with result "cancel" and shows no error box, so this is
// deliberately not a CSignException.
#pragma once

#include <stdexcept>

namespace quillbox::signing {

class SignCancelled : public std::runtime_error {
  public:
    SignCancelled() : std::runtime_error("signing cancelled by the person") {}
};

}  // namespace quillbox::signing
