#include "state/Resources.h"

#include <QCoreApplication>
#include <QDir>

namespace qv::app {

QString resourcesDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("QV_RESOURCES_DIR");
    const QString dir = fromEnvironment.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/resources")
                                                  : fromEnvironment;
    return QDir::cleanPath(QDir(dir).absolutePath());
}

QString resourcePath(const QString& relative) { return QDir::cleanPath(resourcesDirectory() + '/' + relative); }

}  // namespace qv::app
