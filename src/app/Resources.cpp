#include "app/Resources.h"

#include <QCoreApplication>

namespace qv::app {

QString resourcesDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("QV_RESOURCES_DIR");
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/resources");
}

}  // namespace qv::app
