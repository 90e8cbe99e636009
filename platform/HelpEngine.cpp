#include "platform/HelpEngine.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#ifndef VISTREL_DATA_DIR
#define VISTREL_DATA_DIR "/usr/share/vistrel"
#endif

namespace platform {

namespace {
HelpLauncher& launcherSlot() {
    static HelpLauncher launcher;
    return launcher;
}

bool defaultLaunch(const std::string& path) {
    QString program = qEnvironmentVariable("VISTREL_HELP_LAUNCHER");
    if (program.isEmpty())
        program = QStringLiteral("xdg-open");
    return QProcess::startDetached(program, {QString::fromStdString(path)});
}
} // namespace

std::string HtmlHelpPath(const std::string& helpFile) {
    std::string path = helpFile;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        path.erase(dot);
    return path + ".html";
}

std::string FindHelpFile(const std::string& helpFile) {
    const QString relative = QString::fromStdString(HtmlHelpPath(helpFile));
    // $VISTREL_DATA_DIR stands in for the installed data folder (tests, relocated installs).
    const QString dataDir = qEnvironmentVariable("VISTREL_DATA_DIR", QStringLiteral(VISTREL_DATA_DIR));
    const QStringList roots = {QCoreApplication::applicationDirPath(), dataDir};
    for (const QString& root : roots) {
        const QFileInfo candidate(QDir(root), relative);
        if (candidate.isFile())
            return candidate.absoluteFilePath().toStdString();
    }
    return {};
}

bool OpenHelp(const std::string& helpFile, unsigned, std::intptr_t) {
    const std::string path = FindHelpFile(helpFile);
    if (path.empty()) {
        ShowMessageBox("Cannot find the help file " + HtmlHelpPath(helpFile) + ".", MessageIcon::Error);
        return false;
    }
    return launcherSlot() ? launcherSlot()(path) : defaultLaunch(path);
}

HelpLauncher SetHelpLauncher(HelpLauncher launcher) {
    HelpLauncher previous = std::move(launcherSlot());
    launcherSlot() = std::move(launcher);
    return previous;
}

} // namespace platform
