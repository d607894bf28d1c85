#include "capture/gst/MovieRecovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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

// A movie's record: its path, the hidden name it is made under, and once made, which file it is.
constexpr const char* kMovie = "movie";
constexpr const char* kHidden = "temporary";
constexpr const char* kMade = "made";

std::string encodedString(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
QString decodedString(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Neither a fragment nor the data of a finished movie: nothing was recorded into it.
bool holdsNoPicture(const QString& path) {
    const Boxes boxes = boxesOf(path);
    return !boxes.moof && !boxes.mdat;
}

// A file of this user, no link, and where `made` is known, the very file that was made.
bool isRecordedFile(const QString& path, const std::string& made) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_uid == ::geteuid() && (made.empty() || made == util::identityOf(encodedString(path)));
}

bool removeFile(const QString& path) {
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

// What a recorder killed before it finished left in `folder`, as its record names it: a file that
// holds no picture goes (said in `report`); a hidden one that holds frames takes its movie's name
// (finished below with the others); a finishing copy goes (the movie is finished again). Returns
// false to keep the record: another folder's, or its file is still locked.
bool followMovieRecord(const util::RecordFields& fields, const QDir& folder, RecoveryReport& report) {
    if (fields.empty() || fields[0] != kMovie) return false;  // another maker's
    const QString movie = decodedString(util::recordValue(fields, kMovie));
    const QString hidden = decodedString(util::recordValue(fields, kHidden));
    const std::string made = util::recordValue(fields, kMade);
    const QFileInfo movieInfo(movie);
    if (movie.isEmpty() || movieInfo.absolutePath() != folder.absolutePath())
        return false;  // waits for its folder
    const QString name = movieInfo.fileName();

    if (!hidden.isEmpty() && QFileInfo(hidden).absolutePath() == folder.absolutePath() &&
        isRecordedFile(hidden, made)) {
        const MovieFileLock lock(hidden);
        if (!lock.held()) return false;
        if (holdsNoPicture(hidden)) {
            util::printLine("Removing a recording killed before its first picture:", hidden.toStdString());
            if (removeFile(hidden)) report.removed << name;
        } else if (!QFileInfo::exists(movie) && !movieInfo.isSymLink()) {
            std::rename(QFile::encodeName(hidden).constData(), QFile::encodeName(movie).constData());
        }
    }
    // The movie itself only where the record says which file it is: the name alone is anyone's.
    if (!made.empty() && isRecordedFile(movie, made)) {
        const MovieFileLock lock(movie);
        if (!lock.held()) return false;
        if (holdsNoPicture(movie)) {
            util::printLine("Removing a recording killed before its first picture:", movie.toStdString());
            if (removeFile(movie)) report.removed << name;
        } else {
            const QString part = folder.filePath(QStringLiteral(".") + name + QStringLiteral(".part"));
            if (isRecordedFile(part, {})) removeFile(part);
        }
    }
    return true;
}

}  // namespace

MovieFileLock::MovieFileLock(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::unique_ptr<MovieFileLock> MovieFileLock::createHidden(const QString& path, QString* error,
                                                           const QString& recordsFolder) {
    const QFileInfo info(path);
    std::unique_ptr<MovieFileLock> lock(new MovieFileLock);
    lock->path_ = info.absoluteFilePath();
    const std::string records =
        recordsFolder.isEmpty() ? util::defaultRecordsFolder() : encodedString(recordsFolder);
    lock->record_ = util::WorkingRecord(records, {kMovie, encodedString(lock->path_)});
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString hidden =
            info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".new-");
        for (int i = 0; i < 6; ++i) hidden += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
        // Written down before the file exists: a kill at any instant leaves nothing unrecorded.
        if (lock->record_.kept())
            lock->record_.rewrite({kMovie, encodedString(lock->path_), kHidden, encodedString(hidden)});
        lock->fd_ =
            ::open(QFile::encodeName(hidden).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (lock->fd_ < 0 && errno == EEXIST) continue;
        if (lock->fd_ < 0) break;
        lock->hidden_ = hidden;
        if (lock->record_.kept()) lock->record_.add({kMade, util::identityOfDescriptor(lock->fd_)});
        // Nobody else knows the new file yet: the lock is had at once.
        if (::flock(lock->fd_, LOCK_EX | LOCK_NB) != 0) {
            if (error)
                *error = QStringLiteral("Cannot lock %1: %2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            removeFile(hidden);
            return nullptr;
        }
        return lock;
    }
    if (error)
        *error =
            QStringLiteral("Cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return nullptr;
}

bool MovieFileLock::takeName(QString* error) {
    if (std::rename(QFile::encodeName(hidden_).constData(), QFile::encodeName(path_).constData()) != 0) {
        if (error)
            *error = QStringLiteral("Cannot create %1: %2")
                         .arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        removeFile(hidden_);
        return false;
    }
    return true;
}

std::unique_ptr<MovieFileLock> MovieFileLock::createLocked(const QString& path, QString* error,
                                                           const QString& recordsFolder) {
    std::unique_ptr<MovieFileLock> lock = createHidden(path, error, recordsFolder);
    if (!lock || !lock->takeName(error)) return nullptr;
    return lock;
}

MovieFileLock::~MovieFileLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool isFragmentedMovie(const QString& path) {
    const Boxes boxes = boxesOf(path);
    return boxes.moof || boxes.mvex;
}

RecoveryReport recoverInterruptedMovies(const QString& folder, const QString& recordsFolder) {
    RecoveryReport report;
    const QDir dir(folder);

    util::followAbandonedRecords(
        recordsFolder.isEmpty() ? util::defaultRecordsFolder() : encodedString(recordsFolder),
        [&](const util::RecordFields& fields) { return followMovieRecord(fields, dir, report); });

    const QStringList movies = dir.entryList({QStringLiteral("*.mp4"), QStringLiteral("*.MP4")}, QDir::Files);
    for (const QString& name : movies) {
        const QString path = dir.filePath(name);
        const Boxes boxes = boxesOf(path);
        if (!boxes.moof && !boxes.mvex) continue;  // an ordinary movie
        MovieFileLock lock(path);
        if (!lock.held()) continue;  // a recorder is writing it right now
        // The header of a recording that stopped before its first fragment: nothing to finish. One
        // that a record named is gone already; any other is not known to be ours.
        if (!boxes.moof) continue;
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
