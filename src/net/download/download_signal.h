// The process-wide completion signal of background downloads: one done flag under one
// mutex, and the slot that lets only one download run at a time (the flag is shared).
#pragma once

#include <functional>
#include <mutex>

namespace quillbox::net {

class DownloadSignal {
  public:
    static DownloadSignal& Get();

    // Held by a download entry from before its worker starts until the worker is joined.
    std::unique_lock<std::mutex> AcquireSlot() { return std::unique_lock(slot_); }

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
