// The process-wide completion signal of background downloads: one done flag under one
// mutex, and the slot that lets only one download run at a time (the flag is shared).
#pragma once

#include <chrono>
#include <functional>
#include <mutex>

#include "platform/ui/user_interface.h"

namespace quillbox::net {

class DownloadSignal {
  public:
    static DownloadSignal& Get();

    // Held by a download entry from before its worker starts until the worker is joined.
    // Waits its turn through wait: the dialog thread may have to show a dialog for the
    // download that holds the slot.
    std::unique_lock<std::mutex> AcquireSlot(ui::ThreadWait& wait);

    // Clears the flag; onDone is called by SetDone, so the waiting thread wakes at once
    // instead of sleeping out its beat.
    void Clear(std::function<void()> onDone = {});
    void SetDone();
    bool IsDone() const;

  private:
    std::mutex slot_;
    mutable std::mutex mutex_;
    bool done_ = false;
    std::function<void()> onDone_;
};

}  // namespace quillbox::net
