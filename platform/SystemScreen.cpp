// The screen of the desktop the program runs on.
#include "platform/DesktopSession.h"
#include "platform/ScreenPipeWire.h"
#include "platform/ScreenX11.h"

namespace platform {

std::unique_ptr<Screen> createSystemScreen() {
    if (IsWaylandSession())
        return std::make_unique<PipeWireScreen>(CreateScreencastSession(ScreencastServiceFromEnvironment()));
    return std::make_unique<X11Screen>();
}

} // namespace platform
