#include "control/host/host_session.h"

#include <thread>

#include "core/globals.h"
#include "platform/http/transfer.h"
#include "platform/ui/user_interface.h"

#ifdef QUILLBOX_WITH_QT
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#endif

namespace quillbox::host {

HostSession::HostSession(int inFd, int outFd, control::IFormFiller& control)
    : outFd_(outFd), control_(control), reader_(inFd) {}

void HostSession::Push(Item item, const std::function<void()>& wake) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(item));
    }
    changed_.notify_all();
    wake();
}

void HostSession::ReadRequests(const std::function<void()>& wake) {
    for (;;) {
        std::string body;
        std::uint32_t length = 0;
        FrameResult result = reader_.Read(kMaxRequestBytes, body, length);
        if (result == FrameResult::Message) {
            ParsedRequest parsed = ParseRequest(body);
            if (!parsed.request) {
                Write(parsed.error);
                continue;
            }
            bool busy;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                busy = callRunning_;
                callRunning_ = true;
            }
            if (busy) {
                QB_LOG(LogLevel::File, nullptr, "Native host: refused a call while one runs");
                Write(ErrorAnswer(parsed.request->id,
                                  "another call of this control is still running; a "
                                  "control takes one call at a time"));
                continue;
            }
            Push({std::move(parsed.request), nullptr}, wake);
        } else if (result == FrameResult::TooLarge) {
            Write(ErrorAnswer(nullptr, "request of " + std::to_string(length) +
                                           " bytes is over the limit of " +
                                           std::to_string(kMaxRequestBytes) + " bytes"));
        } else {
            if (result == FrameResult::Broken && !reader_.Stopped()) {
                QB_LOG(LogLevel::File, nullptr, "Native host: input ended inside a message");
            }
            break;
        }
    }
    bool working;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        working = callRunning_;
    }
    if (working && !reader_.Stopped()) {
        // The page, its tab or the browser went away: nobody will read the answer, a
        // dialog left open would ask a person about a page they no longer see, and a
        // download would keep the host for as long as the server takes.
        QB_LOG(LogLevel::File, nullptr, "Native host: the page went away; its call is cancelled");
        ui::CurrentUserInterface().GiveUp();
        http::StopAllTransfers();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inputEnded_ = true;
    }
    changed_.notify_all();
    wake();
}

std::optional<HostSession::Item> HostSession::TryPop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) {
        return std::nullopt;
    }
    Item item = std::move(queue_.front());
    queue_.pop_front();
    return item;
}

bool HostSession::Finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    return outputBroken_ || (inputEnded_ && queue_.empty());
}

void HostSession::Serve(const Item& item) {
    nlohmann::json answer;
    if (item.request) {
        try {
            answer = ServeRequest(control_, *item.request);
        } catch (const std::exception& e) {
            answer = ErrorAnswer(item.request->id, std::string("the call failed: ") + e.what());
        }
    } else {
        answer = item.error;
    }
    {
        // Done before its answer goes: the page may send the next call the moment it
        // reads this one.
        std::lock_guard<std::mutex> lock(mutex_);
        callRunning_ = false;
    }
    Write(answer);
}

void HostSession::Write(const nlohmann::json& answer) {
    std::vector<std::string> messages;
    try {
        messages = AnswerMessages(answer);
    } catch (const std::exception& e) {
        messages = {JsonText(ErrorAnswer(answer.contains("id") ? answer["id"] : nlohmann::json(),
                                         std::string("the answer cannot be sent: ") + e.what()))};
    }
    std::lock_guard<std::mutex> writing(writeMutex_);
    for (const std::string& message : messages) {
        if (!WriteFrame(outFd_, message)) {
            QB_LOG(LogLevel::File, nullptr, "Native host: cannot write the answer");
            std::lock_guard<std::mutex> lock(mutex_);
            outputBroken_ = true;
            return;
        }
    }
}

void HostSession::ServeQueued() {
    if (serving_) {
        return;
    }
    serving_ = true;
    while (!Finished()) {
        std::optional<Item> item = TryPop();
        if (!item) {
            break;
        }
        Serve(*item);
    }
    serving_ = false;
}

int HostSession::RunPlain() {
    std::thread readerThread([this] { ReadRequests([] {}); });
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || inputEnded_ || outputBroken_; });
        }
        ServeQueued();
        if (Finished()) {
            break;
        }
    }
    reader_.Stop();
    readerThread.join();
    return outputBroken_ ? 1 : 0;
}

int HostSession::RunWithQt() {
#ifdef QUILLBOX_WITH_QT
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return RunPlain();
    }
    // A task's last dialog closing must not end the host.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    auto wake = [this, app] {
        QMetaObject::invokeMethod(
            app,
            [this, app] {
                ServeQueued();
                if (!serving_ && Finished()) {
                    app->quit();
                }
            },
            Qt::QueuedConnection);
    };
    std::thread readerThread([this, wake] { ReadRequests(wake); });
    app->exec();
    reader_.Stop();
    readerThread.join();
    return outputBroken_ ? 1 : 0;
#else
    return RunPlain();
#endif
}

}  // namespace quillbox::host
