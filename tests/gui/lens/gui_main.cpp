#include "platform/QtSetup.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    platform::PrepareQtEnvironment();
    int qtArgc = 1;
    char name[] = "gui_lens";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
