// Runs a piece of dialog work on the application's thread, the only one Qt widgets may be
// used on, and hands its value back to the calling thread.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <type_traits>
#include <utility>

namespace quillbox::ui {

inline bool OnGuiThreadNow() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Runs fn on the application's thread and returns its value. Called from another thread,
// the caller blocks until fn has run; the application's thread must then be running an
// event loop (see the rule in user_interface.h). Without an application, or when the call
// cannot be queued, fn does not run and the answer is fallback.
template <typename Fn, typename Answer = std::invoke_result_t<Fn&>>
Answer OnGuiThread(Answer fallback, Fn&& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return fallback;
    }
    if (QThread::currentThread() == app->thread()) {
        return fn();
    }
    Answer answer = std::move(fallback);
    QMetaObject::invokeMethod(
        app, [&answer, &fn] { answer = fn(); }, Qt::BlockingQueuedConnection);
    return answer;
}

// The same for work without an answer.
template <typename Fn>
void OnGuiThread(Fn&& fn) {
    OnGuiThread(true, [&fn] {
        fn();
        return true;
    });
}

}  // namespace quillbox::ui
