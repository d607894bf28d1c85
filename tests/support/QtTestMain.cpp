#include <QApplication>
#include <gtest/gtest.h>

#include "webpanels/WebRendering.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qv::webpanels::prepareWebRendering();  // as the program draws
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
