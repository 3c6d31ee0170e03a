// The enrollment tasks: "createcertrequest" makes a fresh key and its certificate request,
// "makepfx" packs the issued certificate with that key into a PFX file.
#pragma once

#include "core/task_handler.h"

namespace quillbox::enroll {

// Adds both handlers, sharing one enrollment state.
void AddEnrollTaskHandlers(HandlerTable& handlers);

}  // namespace quillbox::enroll
