#include "platform/Screencast.h"

#include <QByteArray>
#include <QtGlobal>

namespace platform {

std::unique_ptr<ScreencastSession> CreateMutterScreencast();
std::unique_ptr<ScreencastSession> CreatePortalScreencast();

ScreencastService ScreencastServiceFromEnvironment() {
    return qgetenv("VISTREL_SCREENCAST") == "mutter" ? ScreencastService::Mutter : ScreencastService::Portal;
}

std::unique_ptr<ScreencastSession> CreateScreencastSession(ScreencastService service) {
    return service == ScreencastService::Mutter ? CreateMutterScreencast() : CreatePortalScreencast();
}

} // namespace platform
