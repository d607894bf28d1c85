// A GoogleTest main with a QCoreApplication: start-up and the update check need Qt's event loop
// and network access, but no display.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
