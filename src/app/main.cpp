#include <QApplication>
#include <QSettings>
#include <QStyleFactory>

#include "app/AppDelegate.h"
#include "helpers/NiceButtonStyle.h"
#include "state/AppState.h"
#include "util/BuildInfo.h"
#include "webpanels/AppScheme.h"

int main(int argc, char** argv) {
    qv::app::setApplicationId(QStringLiteral(QV_APP_ID));
    // The program's pages are served from a scheme of their own, known before the application starts.
    qv::webpanels::registerAppScheme();
    // The whiteboard's web views share one GL context with the window.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The main window is composed with the GPU from the start: otherwise the web view's arrival
    // makes Qt create its native window anew, and the new one forgets that it is full screen.
    if (qEnvironmentVariableIsEmpty("QT_WIDGETS_RHI")) qputenv("QT_WIDGETS_RHI", "1");
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
