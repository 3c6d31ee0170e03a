// The "makepfx" task (enroll_handlers.h).
#pragma once

#include <memory>

#include "core/task_handler.h"
#include "enroll/enroll_state.h"

namespace quillbox::enroll {

class PfxHandler final : public TaskHandler {
  public:
    explicit PfxHandler(std::shared_ptr<EnrollState> state) : state_(std::move(state)) {}
    void Run(TaskContext& task) override;

  private:
    std::shared_ptr<EnrollState> state_;
};

}  // namespace quillbox::enroll
