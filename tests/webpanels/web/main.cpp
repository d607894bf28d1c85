// The web engine wants shared GL contexts before the application exists.
#include <QApplication>
#include <gtest/gtest.h>

#include "webpanels/AppScheme.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qv::webpanels::registerAppScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
