// What the program does to Qt before and around its message loop.
#pragma once

namespace platform {

// One logical pixel is one device pixel: Qt's high-DPI scaling is switched
// off before the application object is made.
void PrepareQtEnvironment();

// Installs the widget layer's message box and help engine into the
// application object.
void InstallWidgetHooks();

// Ends the program with `status` without closing any window: the message loop
// (and any modal loop inside it) ends, and the main routine tears down.
void ExitProgram(int status);
int ExitStatus();

} // namespace platform
