// vistrel-filter: see FilterCore.h and --help.
#include "tools/FilterCore.h"

#include <QCoreApplication>
#include <iostream>

namespace {

// Decoders report through Qt's messages (libpng warnings and the like); the
// command already says in one line what went wrong, so these stay quiet.
void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietMessages);
    // For the image-format plug-ins; no display is needed.
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return filter::runFilterCommand(args, std::cout, std::cerr);
}
