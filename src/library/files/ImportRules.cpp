#include "library/files/ImportRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "library/WorkingFiles.h"

namespace qv::library {

ImportKind importKind(const QString& path) {
    const QString ext = QFileInfo(path).suffix();
    for (const char* e : {"PNG", "JPG", "GIF", "PDF", "SVG", "JPEG"})
        if (ext.compare(QLatin1String(e), Qt::CaseInsensitive) == 0) return ImportKind::imageOrPDF;
    for (const char* e : {"PPT", "PPTX", "KEY"})
        if (ext.compare(QLatin1String(e), Qt::CaseInsensitive) == 0) return ImportKind::presentation;
    return ImportKind::other;
}

QStringList importPanelTypes() {
    return {QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("gif"),
            QStringLiteral("svg"), QStringLiteral("key"), QStringLiteral("ppt"), QStringLiteral("pdf"),
            QStringLiteral("pptx")};
}

namespace {

std::filesystem::path resolved(const QString& p) {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(p.toStdString()), ec);
    std::filesystem::path out = std::filesystem::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : out;
}

}  // namespace

bool isSameFile(const QString& a, const QString& b) {
    const std::filesystem::path pa = resolved(a), pb = resolved(b);
    if (pa == pb) return true;
    std::error_code ec;
    return std::filesystem::equivalent(pa, pb, ec) && !ec;  // hard links, bind mounts
}

CopyResult copyIntoFolder(const QString& source, const QString& folder) {
    CopyResult result;
    const QString name = QFileInfo(source).fileName();
    result.destination = QDir(folder).filePath(name);
    if (isSameFile(source, result.destination)) {
        result.outcome = CopyOutcome::sameFile;
        return result;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        result.error = in.errorString();
        return result;
    }
    std::optional<WorkingFile> working = createWorkingFile(folder, name, QStringLiteral("copy"), &result.error);
    if (!working) return result;
    // Whatever goes wrong from here on, the working file goes too.
    Discard discard(working->path);
    QFile out;
    if (!out.open(working->fd.release(), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        result.error = out.errorString();
        return result;
    }
    char buffer[1 << 16];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0) {
            result.error = in.errorString();
            return result;
        }
        if (n == 0) break;
        if (out.write(buffer, n) != n) {
            result.error = out.errorString();
            return result;
        }
    }
    if (!out.flush()) {
        result.error = out.errorString();
        return result;
    }
    // The source's mode as the umask leaves it (the working file was made with what it leaves of
    // 0666), always readable and writable by its owner.
    out.setPermissions((in.permissions() | QFileDevice::WriteOwner | QFileDevice::ReadOwner) & out.permissions());
    out.close();
    // A folder (an older slide folder, say) under the name goes first; a file or a link is replaced
    // by the rename itself.
    std::error_code ec;
    const std::filesystem::path dest(QFile::encodeName(result.destination).toStdString());
    if (std::filesystem::is_directory(std::filesystem::symlink_status(dest, ec))) std::filesystem::remove_all(dest, ec);
    if (std::rename(QFile::encodeName(working->path).constData(), QFile::encodeName(result.destination).constData()) != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    discard.keep();
    result.outcome = CopyOutcome::copied;
    return result;
}

}  // namespace qv::library
