#include "webpanels/Resources.h"

#include <QCoreApplication>
#include <QDir>

namespace qv::webpanels {

QString resourcesDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("QV_RESOURCES_DIR");
    const QString dir = fromEnvironment.isEmpty() ? QCoreApplication::applicationDirPath() + "/resources"
                                                  : fromEnvironment;
    return QDir::cleanPath(QDir(dir).absolutePath());
}

QString resourcePath(const QString& relative) { return QDir::cleanPath(resourcesDirectory() + '/' + relative); }

QString whiteboardPagePath() { return resourcePath("marrowpanel/index.html"); }

}  // namespace qv::webpanels
