#include <QApplication>
#include <gtest/gtest.h>

#ifdef QV_TEST_APP_SCHEME
#include "webpanels/AppScheme.h"
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifdef QV_TEST_APP_SCHEME
    qv::webpanels::registerAppScheme();  // before the application, as the program does
#endif
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
