// One page's connection: reads requests on a thread of its own and serves them one
// after another on the thread that owns the dialogs, so a task's dialogs never run on
// a second thread and a long task never stops the host from reading.
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

    bool serving_ = false;
    bool outputBroken_ = false;
};

}  // namespace quillbox::host
