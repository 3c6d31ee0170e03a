// The process-wide completion signal of background downloads: one done flag under one
// mutex, and the slot that lets only one download run at a time (the flag is shared).
#pragma once

#include <chrono>
#include <condition_variable>
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
    // Waits one beat of the wait loop, or less when the worker signals done meanwhile:
    // a quick download should not cost the caller a whole beat.
    void WaitBeat(std::chrono::milliseconds beat);

  private:
    std::mutex slot_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

}  // namespace quillbox::net
