#include "net/download/c_thread.h"

#include <system_error>

namespace quillbox::net {

CThread::~CThread() {
    Join();
}

bool CThread::Start(std::uint32_t parameter) {
    if (thread_.joinable()) {
        return false;
    }
    parameter_ = parameter;
    exitCode_.store(-1, std::memory_order_release);
    active_.store(true, std::memory_order_release);
    try {
        thread_ = std::thread(&CThread::Entry, this);
    } catch (const std::system_error&) {
        active_.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

std::int32_t CThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
        exitCode_.store(runResult_.load(std::memory_order_acquire), std::memory_order_release);
    }
    return ExitCode();
}

std::int32_t CThread::Run(std::uint32_t) {
    return ExitCode();
}

void CThread::Entry() {
    BeforeRun();
    runResult_.store(Run(parameter_), std::memory_order_release);
    AfterRun();
    active_.store(false, std::memory_order_release);
}

}  // namespace quillbox::net
