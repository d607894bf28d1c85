// The tests get a display of their own with a window manager, made before the application.
#include <QApplication>
#include <gtest/gtest.h>

#include <iostream>

#include "support/PrivateDesktop.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();  // listing needs no display
    qv::test::PrivateDesktop desktop;
    if (!desktop.ok()) {
        std::cerr << "no private display with a window manager (Xvfb and openbox are needed)\n";
        return 1;
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
