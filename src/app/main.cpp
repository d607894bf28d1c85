#include <QApplication>
#include <QSettings>
#include <QStyleFactory>

#include "app/AppDelegate.h"
#include "helpers/NiceButtonStyle.h"
#include "state/AppState.h"
#include "util/BuildInfo.h"
#include "webpanels/WebRendering.h"

int main(int argc, char** argv) {
    qv::app::setApplicationId(QStringLiteral(QV_APP_ID));
    qv::webpanels::prepareWebRendering();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationName(QStringLiteral(QV_SETTINGS_NAME));
    QApplication::setApplicationVersion(QString::fromUtf8(qv::util::build::shortVersion));
    QApplication::setStyle(new qv::app::NoFocusRingStyle(QStyleFactory::create(QStringLiteral("Fusion"))));

    qv::app::AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    const int status = app.exec();
    delegate.applicationWillTerminate();
    return status;
}
