// Hints for the window manager that Qt has no call for.
#pragma once

class QWidget;

namespace platform {

// The window gets no taskbar or pager entry of its own. Call it while the
// window is hidden, before every showing: window managers drop the hint when
// a window is withdrawn. Does nothing where the display has no such hint.
void KeepOffTaskbar(QWidget* window);

} // namespace platform
