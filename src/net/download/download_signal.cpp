#include "net/download/download_signal.h"

namespace quillbox::net {

DownloadSignal& DownloadSignal::Get() {
    static DownloadSignal signal;
    return signal;
}

std::unique_lock<std::mutex> DownloadSignal::AcquireSlot(ui::ThreadWait& wait) {
    std::unique_lock lock(slot_, std::try_to_lock);
    while (!lock.owns_lock()) {
        wait.Beat(std::chrono::milliseconds(50));
        lock.try_lock();
    }
    return lock;
}

void DownloadSignal::Clear(std::function<void()> onDone) {
    std::lock_guard lock(mutex_);
    done_ = false;
    onDone_ = std::move(onDone);
}

void DownloadSignal::SetDone() {
    std::function<void()> onDone;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        onDone = onDone_;
    }
    if (onDone) {
        onDone();
    }
}

bool DownloadSignal::IsDone() const {
    std::lock_guard lock(mutex_);
    return done_;
}

}  // namespace quillbox::net
