#include "capture/gst/MovieRecovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/gst/MovieWriter.h"
#include "util/Print.h"

namespace qv::gst {

namespace {

struct Boxes {
    bool moof = false;  // a movie fragment: frames that only the fragment index knows
    bool mvex = false;  // the header announces fragments
    bool mdat = false;
};

quint64 readSize(const QByteArray& header, int at, int bytes) {
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | quint8(header[at + i]);
    return value;
}

// Walks the boxes between `begin` and `end`, descending into "moov" to find "mvex".
void scanBoxes(QFile& file, qint64 begin, qint64 end, Boxes& found, bool inMoov) {
    qint64 offset = begin;
    while (offset + 8 <= end) {
        if (!file.seek(offset)) return;
        const QByteArray header = file.read(16);
        if (header.size() < 8) return;
        quint64 size = readSize(header, 0, 4);
        const QByteArray type = header.mid(4, 4);
        qint64 headerSize = 8;
        if (size == 1) {
            if (header.size() < 16) return;
            size = readSize(header, 8, 8);
            headerSize = 16;
        } else if (size == 0) {
            size = quint64(end - offset);  // to the end of the file
        }
        if (size < quint64(headerSize)) return;
        if (inMoov) {
            if (type == "mvex") found.mvex = true;
        } else if (type == "moof") {
            found.moof = true;
        } else if (type == "mdat") {
            found.mdat = true;
        } else if (type == "moov") {
            scanBoxes(file, offset + headerSize, std::min<qint64>(end, offset + qint64(size)), found, true);
        }
        if (quint64(end - offset) < size) return;  // cut short: the last box ends past the file
        offset += qint64(size);
    }
}

Boxes boxesOf(const QString& path) {
    Boxes found;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) scanBoxes(file, 0, file.size(), found, false);
    return found;
}

bool isMovieName(const QString& name) { return name.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive); }

}  // namespace

MovieFileLock::MovieFileLock(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::unique_ptr<MovieFileLock> MovieFileLock::createLocked(const QString& path, QString* error) {
    const QFileInfo info(path);
    QByteArray temporary =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".new-XXXXXX"));
    std::unique_ptr<MovieFileLock> lock(new MovieFileLock);
    lock->fd_ = ::mkostemp(temporary.data(), O_CLOEXEC);
    const auto fail = [&](const char* what) {
        if (error) *error = QStringLiteral("Cannot %1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
        if (lock->fd_ >= 0) ::unlink(temporary.constData());
        return nullptr;
    };
    if (lock->fd_ < 0) return fail("create");
    // Nobody else knows the new file yet: the lock is had at once.
    if (::flock(lock->fd_, LOCK_EX | LOCK_NB) != 0) return fail("lock");
    if (std::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) return fail("create");
    return lock;
}

MovieFileLock::~MovieFileLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool isFragmentedMovie(const QString& path) {
    const Boxes boxes = boxesOf(path);
    return boxes.moof || boxes.mvex;
}

RecoveryReport recoverInterruptedMovies(const QString& folder) {
    RecoveryReport report;
    const QDir dir(folder);

    // Copies left by a finish that was cut short: ".<name>.part" beside "<name>". The movie itself
    // is still whole (the copy replaces it only once complete), so the copy goes and the movie is
    // finished again below. A copy without its movie is all there is of it: it takes the movie's
    // name.
    const QStringList parts = dir.entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
    for (const QString& part : parts) {
        const QString movieName = part.mid(1, part.size() - 1 - int(qstrlen(".part")));
        if (!isMovieName(movieName)) continue;
        const QString partPath = dir.filePath(part);
        const QString moviePath = dir.filePath(movieName);
        if (QFileInfo::exists(moviePath)) {
            MovieFileLock lock(moviePath);
            if (!lock.held()) continue;  // its recorder is finishing it right now
            if (!QFile::remove(partPath)) report.failed << part + QStringLiteral(": cannot be removed");
        } else if (std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(moviePath).constData()) != 0) {
            report.failed << part + QStringLiteral(": cannot be renamed");
        }
    }

    const QStringList movies = dir.entryList({QStringLiteral("*.mp4"), QStringLiteral("*.MP4")}, QDir::Files);
    for (const QString& name : movies) {
        const QString path = dir.filePath(name);
        const Boxes boxes = boxesOf(path);
        if (!boxes.moof && !boxes.mvex) continue;  // an ordinary movie
        MovieFileLock lock(path);
        if (!lock.held()) continue;  // a recorder is writing it right now
        if (!boxes.moof) {
            // The header of a recording that stopped before its first fragment: no frames at all.
            util::printLine("Removing an interrupted recording without frames:", path.toStdString());
            QFile::remove(path);
            continue;
        }
        QString error;
        if (finalizeFragmentedMovie(path, &error)) {
            util::printLine("Recovered interrupted recording:", path.toStdString());
            report.recovered << name;
        } else {
            util::printLine("Could not recover interrupted recording:", path.toStdString(), error.toStdString());
            report.failed << name + QStringLiteral(": ") + error;
        }
    }
    return report;
}

}  // namespace qv::gst
