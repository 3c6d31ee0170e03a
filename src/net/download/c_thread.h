// Worker thread base: Start runs BeforeRun, Run and AfterRun on a new thread and keeps
// Run's value as the exit code.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace quillbox::net {

class CThread {
  public:
    CThread() = default;
    // Joins a thread still held. A derived class whose Run uses its own members must
    // Join in its own destructor: by the time this one runs those members are gone.
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts the thread at once; the exit code reads -1 until it is joined. False when
    // a thread is already held or none could be created.
    bool Start(std::uint32_t parameter);
    // Waits for the thread to end and returns its exit code; the exit code unchanged
    // when no thread is held. A running thread cannot be stopped safely from outside,
    // so there is no forced end: Run must finish by itself.
    std::int32_t Join();

    // True from Start until Run and the after-run hook have returned.
    bool IsActive() const { return active_.load(std::memory_order_acquire); }
    std::int32_t ExitCode() const { return exitCode_.load(std::memory_order_acquire); }

  protected:
    // The base returns the current exit code.
    virtual std::int32_t Run(std::uint32_t parameter);
    virtual void BeforeRun() {}
    virtual void AfterRun() {}

  private:
    void Entry();

    std::thread thread_;
    std::uint32_t parameter_ = 0;
    std::atomic<std::int32_t> exitCode_{-1};
    std::atomic<std::int32_t> runResult_{-1};
    std::atomic<bool> active_{false};
};

}  // namespace quillbox::net
