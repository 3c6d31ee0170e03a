// Qt dialogs for the plug-in inside another program's process. Qt serves widgets on one
// thread only, and the host program's threads are not ours to run an event loop on, so a
// thread of the library owns the QApplication and runs every dialog; calls from other
// threads wait for it (the Qt user interface forwards them to the application's thread).
#pragma once

#include <memory>

#include "platform/ui/scripted/answer_script.h"
#include "platform/ui/user_interface.h"

namespace quillbox::jni {

// Starts the thread (call once per process) and returns its user interface, which lives
// until the process ends; nullptr when the thread could not be started. With a driver the
// windows are answered from its answers file.
ui::UserInterface* StartQtUiThread(std::shared_ptr<ui::AnswerScript> driver = nullptr);

// Ends the thread's event loop (open dialogs close with their default answers) and waits
// a short while until the thread stands still. For the host program's shutdown: Qt's
// global objects are destroyed at exit, and no dialog may be running then.
void StopQtUiThread();

}  // namespace quillbox::jni
