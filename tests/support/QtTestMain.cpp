#include <QApplication>
#include <gtest/gtest.h>

#include "webpanels/WebRendering.h"
#ifdef QV_TEST_APP_SCHEME
#include "webpanels/AppScheme.h"
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifdef QV_TEST_APP_SCHEME
    qv::webpanels::registerAppScheme();  // before the application, as the program does
#endif
    qv::webpanels::prepareWebRendering();  // as the program draws
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
