#include "app/SaveFolderBookmark.h"

#include <QDir>
#include <QFileInfo>

namespace qv::app {

std::optional<QByteArray> bookmarkData(const QString& folder, QString* error) {
    QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !info.isDir()) {
        if (error) *error = QStringLiteral("The folder \"%1\" doesn't exist.").arg(folder);
        return std::nullopt;
    }
    return canonical.toUtf8();
}

std::optional<ResolvedBookmark> resolveBookmark(const QByteArray& data, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<ResolvedBookmark> {
        if (error) *error = why;
        return std::nullopt;
    };
    const QString stored = QString::fromUtf8(data);
    if (data.isEmpty() || stored.toUtf8() != data || !QDir::isAbsolutePath(stored) || stored.contains(QChar(0)))
        return fail(QStringLiteral("The bookmark data isn't in the correct format."));
    QFileInfo info(stored);
    if (!info.exists()) return fail(QStringLiteral("The folder \"%1\" doesn't exist.").arg(stored));
    if (!info.isDir()) return fail(QStringLiteral("\"%1\" is not a folder.").arg(stored));
    if (!info.isReadable() || !info.isWritable())
        return fail(QStringLiteral("You don't have permission to use the folder \"%1\".").arg(stored));
    const QString canonical = info.canonicalFilePath();
    return ResolvedBookmark{canonical, canonical != QDir::cleanPath(stored)};
}

}  // namespace qv::app
