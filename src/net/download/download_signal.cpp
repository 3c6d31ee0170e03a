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
    std::lock_guard lock(mutex_);
    done_ = true;
}

bool DownloadSignal::IsDone() const {
    std::lock_guard lock(mutex_);
    return done_;
}

}  // namespace quillbox::net
