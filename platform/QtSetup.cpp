#include "platform/QtSetup.h"

#include "platform/Accessibility.h"
#include "platform/Application.h"
#include "platform/DesktopSession.h"
#include "platform/HelpEngine.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace platform {

namespace {
int g_exitStatus = 0;
}

void PrepareQtEnvironment() {
    // Only an X window can be the lens on a Wayland desktop (see
    // DesktopSession.h); a platform the user picked on purpose stays.
    if (IsWaylandSession() &&
        (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM").startsWith("wayland")))
        qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    qunsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
}

void InstallWidgetHooks() {
    InstallAccessibility();
    if (!Application)
        return;
    Application->helpEngine = [](const std::string& file, unsigned command, std::intptr_t data) {
        return OpenHelp(file, command, data);
    };
    Application->errorBox = [](const std::string& text, const std::string&) {
        ShowMessageBox(text, MessageIcon::Error);
    };
}

void ExitProgram(int status) {
    g_exitStatus = status;
    if (Application)
        Application->Terminate();
    else
        QCoreApplication::exit(status);
}

int ExitStatus() {
    return g_exitStatus;
}

} // namespace platform
