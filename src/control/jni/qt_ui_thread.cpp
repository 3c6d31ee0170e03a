#include "control/jni/qt_ui_thread.h"

#include <QApplication>
#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/ui/qt/qt_user_interface.h"

namespace quillbox::jni {

namespace {

struct UiThread {
    std::mutex mutex;
    std::condition_variable changed;
    QApplication* app = nullptr;  // set while its event loop may run
    ui::UserInterface* ui = nullptr;
    bool started = false;
    bool stopped = false;
};

// Never destroyed: the shutdown and late calls may still reach it.
std::atomic<UiThread*> g_uiThread{nullptr};

void RunUiThread(UiThread& state, std::shared_ptr<ui::AnswerScript> driver) {
    static int argc = 1;
    static char name[] = "callovo";
    static char* argv[] = {name, nullptr};
    try {
        // Never destroyed: that would have to happen on this thread before Qt's global
        // objects go, and the host program's exit offers no such moment.
        auto* app = new QApplication(argc, argv);
        // Closing the last dialog must not end the loop that later calls need.
        app->setQuitOnLastWindowClosed(false);
        ui::UserInterface* ui = new ui::QtUserInterface(std::move(driver));
        {
            std::lock_guard lock(state.mutex);
            state.app = app;
            state.ui = ui;
            state.started = true;
        }
        state.changed.notify_all();
        app->exec();
    } catch (...) {
        // Qt could not start: callers fall back to the console.
    }
    std::unique_lock lock(state.mutex);
    state.app = nullptr;
    state.stopped = true;
    state.changed.notify_all();
    // Parked until the process ends, touching nothing of Qt's while it is taken down.
    state.changed.wait(lock, [] { return false; });
}

}  // namespace

ui::UserInterface* StartQtUiThread(std::shared_ptr<ui::AnswerScript> driver) {
    if (UiThread* running = g_uiThread.load()) {
        return running->ui;
    }
    auto* state = new UiThread();
    try {
        std::thread(RunUiThread, std::ref(*state), std::move(driver)).detach();
    } catch (...) {
        delete state;
        return nullptr;
    }
    std::unique_lock lock(state->mutex);
    state->changed.wait(lock, [&] { return state->started || state->stopped; });
    g_uiThread = state;
    return state->ui;
}

void StopQtUiThread() {
    UiThread* running = g_uiThread.load();
    if (running == nullptr) {
        return;
    }
    UiThread& state = *running;
    std::unique_lock lock(state.mutex);
    if (state.app != nullptr) {
        QMetaObject::invokeMethod(
            state.app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    }
    // A dialog handler that does not return in time is left behind.
    state.changed.wait_for(lock, std::chrono::seconds(2), [&] { return state.stopped; });
}

}  // namespace quillbox::jni
