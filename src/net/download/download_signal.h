// The process-wide completion signal of background downloads: one done flag under one
// mutex, and the slot that lets only one download run at a time (the flag is shared).
#pragma once

#include <mutex>

namespace quillbox::net {

class DownloadSignal {
  public:
    static DownloadSignal& Get();

    // Held by a download entry from before its worker starts until the worker is joined.
    std::unique_lock<std::mutex> AcquireSlot() { return std::unique_lock(slot_); }

    void Clear();
    void SetDone();
    bool IsDone() const;

  private:
    std::mutex slot_;
    mutable std::mutex mutex_;
    bool done_ = false;
};

}  // namespace quillbox::net
