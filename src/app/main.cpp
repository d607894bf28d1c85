#include <QApplication>
#include <QLabel>

#include "app/state/AppState.h"
#include "util/BuildInfo.h"

int main(int argc, char** argv) {
    qv::app::setApplicationId(QStringLiteral(QV_APP_ID));
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Quorvane");
    QApplication::setApplicationName(QStringLiteral(QV_SETTINGS_NAME));
    QApplication::setApplicationVersion(qv::util::build::shortVersion);
    QLabel label(qv::util::build::bundleName);
    label.resize(1280, 800);
    label.show();
    return app.exec();
}
