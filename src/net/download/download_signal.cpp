#include "net/download/download_signal.h"

namespace quillbox::net {

DownloadSignal& DownloadSignal::Get() {
    static DownloadSignal signal;
    return signal;
}

void DownloadSignal::Clear() {
    std::lock_guard lock(mutex_);
    done_ = false;
}

void DownloadSignal::SetDone() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
}

void DownloadSignal::WaitBeat(std::chrono::milliseconds beat) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, beat, [this] { return done_; });
}

bool DownloadSignal::IsDone() const {
    std::lock_guard lock(mutex_);
    return done_;
}

}  // namespace quillbox::net
