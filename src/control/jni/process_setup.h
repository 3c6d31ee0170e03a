// What the plug-in needs once per process when it runs inside another program (a JVM):
// the user interface that all calls share, and the log's banner line.
#pragma once

namespace quillbox::jni {

// The first call logs the banner line and installs the user interface: a scripted person
// when QUILLBOX_UI_SCRIPT names an answers file (transcript in QUILLBOX_UI_TRANSCRIPT),
// else Qt dialogs when there is a display, else the console. Later calls, from any
// thread, return at once. Never throws.
void PrepareProcessOnce();

// For the host program's shutdown, before its global objects are destroyed: open Qt
// dialogs close with their default answers, later boxes get them at once, and the Qt
// thread stands still.
void ShutDownDialogs();

}  // namespace quillbox::jni
