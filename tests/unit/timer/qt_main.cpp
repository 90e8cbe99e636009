// gtest main for tests that need a QCoreApplication on the main thread (the
// user-interface thread of the platform layer), without a display.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
