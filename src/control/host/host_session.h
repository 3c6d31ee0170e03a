// One page's connection: reads requests on a thread of its own and serves them on the
// thread that owns the dialogs, so a task's dialogs never run on a second thread and a
// long task never stops the host from reading. One call at a time: a call that comes
// while another runs is refused at once (the page's script keeps to that too, but a
// page can post to the content script directly), and so is a request that cannot be
// served; the queue never holds more than the one running call.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "control/form_filler.h"
#include "control/host/host_requests.h"
#include "control/host/native_messaging.h"

namespace quillbox::host {

class HostSession {
  public:
    // Reads frames from inFd and writes answers to outFd; the control serves them.
    HostSession(int inFd, int outFd, control::IFormFiller& control);
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Serves until the input ends, every request read before the end included. Returns
    // 0 then, 1 when the answers could no longer be written.
    int RunPlain();
    // The same on a thread running a Qt event loop (dialogs need it between tasks).
    int RunWithQt();

  private:
    struct Item {
        std::optional<HostRequest> request;
        nlohmann::json error;
    };

    void ReadRequests(const std::function<void()>& wake);
    void Push(Item item, const std::function<void()>& wake);
    // Writes one answer; from either thread.
    void Write(const nlohmann::json& answer);
    std::optional<Item> TryPop();
    // Serves what is queued; does nothing when already serving (a dialog's event loop
    // delivering the next wake-up must not start a second task).
    void ServeQueued();
    void Serve(const Item& item);
    bool Finished();

    int outFd_;
    control::IFormFiller& control_;
    FrameReader reader_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    bool inputEnded_ = false;
    bool callRunning_ = false;  // from its arrival until its answer is written
    std::mutex writeMutex_;     // answers come from both threads

    bool serving_ = false;
    bool outputBroken_ = false;
};

}  // namespace quillbox::host
