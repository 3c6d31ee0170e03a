#include "control/jni/process_setup.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>

#include "core/globals.h"
#include "core/identity.h"
#include "platform/ui/scripted/scripted_user_interface.h"
#include "platform/ui/user_interface.h"

#ifdef QUILLBOX_WITH_QT
#include "control/jni/qt_ui_thread.h"
#include "platform/ui/qt/qt_user_interface.h"
#endif

namespace quillbox::jni {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

#ifdef QUILLBOX_WITH_QT
std::atomic<bool> g_qtChosen{false};
#endif

// Returns the interface to install, or nullptr for the console. The object lives until the
// process ends: a call on any thread may be using it at any time. $QUILLBOX_UI takes the
// command line's values ("qt:ANSWERS.json", "script:ANSWERS.json", "qt", "console").
ui::UserInterface* ChooseUserInterface() {
    std::string choice = Env("QUILLBOX_UI");
    if (choice.empty() && !Env("QUILLBOX_UI_SCRIPT").empty()) {
        choice = "script:" + Env("QUILLBOX_UI_SCRIPT");
    }
    std::string transcript = Env("QUILLBOX_UI_TRANSCRIPT");
    if (transcript.empty()) {
        transcript = "/dev/null";
    }
    try {
        if (choice.rfind("script:", 0) == 0) {
            return new ui::ScriptedUserInterface(choice.substr(7), transcript);
        }
#ifdef QUILLBOX_WITH_QT
        if ((choice.empty() || choice.rfind("qt", 0) == 0) && ui::QtDisplayAvailable()) {
            std::shared_ptr<ui::AnswerScript> driver;
            if (choice.rfind("qt:", 0) == 0) {
                driver = std::make_shared<ui::AnswerScript>(choice.substr(3), transcript);
            }
            ui::UserInterface* qt = StartQtUiThread(std::move(driver));
            g_qtChosen = qt != nullptr;
            return qt;
        }
#endif
    } catch (const std::exception& e) {
        // Nobody may be there to answer: fall back to default answers, never to dialogs.
        std::cerr << "callovo: " << e.what() << "; boxes get their default answers\n";
    }
    return nullptr;
}

}  // namespace

void PrepareProcessOnce() {
    static std::once_flag once;
    try {
        std::call_once(once, [] {
            ui::UserInterface* chosen = ChooseUserInterface();
            if (chosen != nullptr) {
                ui::SetUserInterface(chosen);
            }
            CGlobals::Get().LogText(LogLevel::File, nullptr, BannerLine());
        });
    } catch (...) {
        // Without a banner or a chosen interface the task still runs (console answers).
    }
}

void ShutDownDialogs() {
#ifdef QUILLBOX_WITH_QT
    if (g_qtChosen) {
        // The Qt interface object stays alive for calls already holding it.
        ui::SetUserInterface(nullptr);
        StopQtUiThread();
    }
#endif
}

}  // namespace quillbox::jni
