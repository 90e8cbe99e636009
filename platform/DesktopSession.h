// Which kind of desktop the program runs on. On a Wayland desktop the lens
// window still goes through Xwayland (only an X window keeps above the others,
// keeps its place and keeps its shape there), but the screen comes from the
// compositor's screencast: Xwayland can show neither the screen nor, away
// from X windows, the pointer.
#pragma once

namespace platform {

// WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland.
bool IsWaylandSession();

} // namespace platform
