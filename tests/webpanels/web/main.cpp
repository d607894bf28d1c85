// The web views draw as in the program.
#include <QApplication>
#include <gtest/gtest.h>

#include "webpanels/AppScheme.h"
#include "webpanels/WebRendering.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qv::webpanels::registerAppScheme();
    qv::webpanels::prepareWebRendering();  // as the program draws
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
