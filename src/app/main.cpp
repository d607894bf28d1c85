#include <QApplication>
#include <QSettings>
#include <QStyleFactory>

#include "app/AppDelegate.h"
#include "helpers/NiceButtonStyle.h"
#include "state/AppState.h"
#include "util/BuildInfo.h"
#include "util/Memory.h"
#include "webpanels/AppScheme.h"
#include "webpanels/WebRendering.h"

int main(int argc, char** argv) {
    qv::util::capAllocatorArenas();  // before any thread starts
    qv::app::setApplicationId(QStringLiteral(QV_APP_ID));
    // The program's pages are served from a scheme of their own, known before the application starts.
    qv::webpanels::registerAppScheme();
    // Web views drawn in software keep the window a plain raster window: a camera frame repaints
    // only the camera, and the window is never created anew (which would forget full screen).
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
