// Start-up and shutdown: the application's title and help file, the three
// windows in their fixed order, the message loop, and the teardown.
#include "app/About.h"
#include "lens/vistrelUnit.h"
#include "platform/Application.h"
#include "platform/QtSetup.h"
#include "platform/Screen.h"
#include "vision/Setup.h"

#include <QApplication>
#include <QIcon>
#include <exception>

int main(int, char**) {
    platform::PrepareQtEnvironment();
    // The program does not read its command line: Qt gets none of it either.
    int qtArgc = 1;
    char name[] = "vistrel";
    char* qtArgv[] = {name, nullptr};
    QApplication qtApp(qtArgc, qtArgv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vistrel/vistrel.png")));
    QApplication::setQuitOnLastWindowClosed(false);

    try {
        Application = new TApplication;
        platform::InstallWidgetHooks();
        Application->HelpFile = "Help\\VISTREL_HELP.HLP";
        Application->Title = "VISTREL";
        QApplication::setApplicationDisplayName(QString());
        // The screen first: on a Wayland desktop opening it may wait for the
        // user's consent, and no window or timer should run meanwhile.
        platform::currentScreen();
        Application->MainForm = new TForm1(Application);
        new TForm2(Application);
        new TForm3(Application);
        Form1->show();
        Application->Run();
    } catch (const std::exception& error) {
        if (Application)
            Application->ShowException(error);
    }

    // The standard exit path: the application object destroys what it owns,
    // newest first (Form3, Form2, the timer's miser, Form1).
    delete Application;
    return platform::ExitStatus();
}
