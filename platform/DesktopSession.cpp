#include "platform/DesktopSession.h"

#include <QByteArray>
#include <QtGlobal>

namespace platform {

bool IsWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
}

} // namespace platform
