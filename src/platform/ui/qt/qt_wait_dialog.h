// The wait dialog drawn with Qt Widgets: the plug-in's icon, a text line and a progress
// bar from 0 to 100, centred on the screen, above other windows.
#pragma once

#include <memory>

#include "platform/ui/user_interface.h"

namespace quillbox::ui {

class AnswerScript;

// Every call may come from any thread; the window lives on the application's thread.
// A call from another thread waits for that thread, which must then run an event loop.
// With a driver the dialog's transcript line is written when it closes.
std::unique_ptr<WaitDialog> CreateQtWaitDialog(const WaitDialogRequest& request,
                                               AnswerScript* driver = nullptr);

}  // namespace quillbox::ui
