#include "library/WorkingFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace qv::library {

namespace {

constexpr int kNameLimit = 255;  // bytes of one name on the file systems the program writes to
constexpr int kAttempts = 100;

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

QString randomLetters(int count) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString out;
    for (int i = 0; i < count; ++i) out += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
    return out;
}


// lstat: false when there is nothing at `path`.
bool entryStatus(const QString& path, struct stat* st) { return ::lstat(encoded(path).constData(), st) == 0; }

bool ownedByUs(const struct stat& st) { return st.st_uid == ::geteuid(); }

// Tries names until one is free; `make` creates the entry and returns 0, or an errno value.
template <typename Make>
std::optional<QString> createUnder(const QString& folder, const QString& name, const QString& tag, Make make,
                                   QString* error) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QString path = QDir(folder).filePath(workingName(name, tag));
        const int failure = make(path);
        if (failure == 0) return path;
        if (failure != EEXIST) {
            if (error) *error = QString::fromLocal8Bit(std::strerror(failure));
            return std::nullopt;
        }
    }
    if (error) *error = QStringLiteral("no free working name in ") + folder;
    return std::nullopt;
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

WorkingLock::WorkingLock(const QString& path) {
    UniqueFd fd(::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) fd_ = std::move(fd);
}

QString workingName(const QString& name, const QString& tag) {
    const QString tail = QStringLiteral(".") + tag + QStringLiteral("-") + randomLetters(6) + QStringLiteral(".part");
    const qsizetype room = kNameLimit - 1 - encoded(tail).size();
    QString kept = name;
    while (!kept.isEmpty() && encoded(kept).size() > room) {
        kept.chop(1);
        if (!kept.isEmpty() && kept.back().isHighSurrogate()) kept.chop(1);
    }
    return QStringLiteral(".") + kept + tail;
}

bool isWorkingName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^\\.[\\s\\S]*\\.[a-z]+-[A-Za-z0-9]{6}\\.part$"));
    // What earlier versions of the program named them: ".<name>.slides-XXXXXX" for the slides of a
    // conversion and ".<name>.XXXXXX.part" for a copy.
    static const QRegularExpression earlier(
        QStringLiteral("^\\.[\\s\\S]+\\.(slides-[A-Za-z0-9]{6}|[A-Za-z0-9]{6}\\.part)$"));
    return pattern.match(name).hasMatch() || earlier.match(name).hasMatch();
}

std::optional<WorkingFile> createWorkingFile(const QString& folder, const QString& name, const QString& tag,
                                             QString* error) {
    UniqueFd fd;
    const std::optional<QString> path = createUnder(
        folder, name, tag,
        [&](const QString& p) {
            fd = UniqueFd(::open(encoded(p).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            return fd.valid() ? 0 : errno;
        },
        error);
    if (!path) return std::nullopt;
    return WorkingFile{*path, std::move(fd), WorkingLock(*path)};
}

std::optional<WorkingFolder> createWorkingFolder(const QString& folder, const QString& name, const QString& tag,
                                                 QString* error) {
    const std::optional<QString> path = createUnder(
        folder, name, tag, [](const QString& p) { return ::mkdir(encoded(p).constData(), 0777) == 0 ? 0 : errno; },
        error);
    if (!path) return std::nullopt;
    return WorkingFolder{*path, WorkingLock(*path)};
}

bool removeEntry(const QString& path) {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(encoded(path).toStdString()), ec);
    return !ec;
}

QStringList removeAbandonedWorkingFiles(const QString& folder) {
    QStringList removed;
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isWorkingName(name)) continue;
        const QString path = QDir(folder).filePath(name);
        struct stat st {};
        if (!entryStatus(path, &st) || S_ISLNK(st.st_mode) || !ownedByUs(st)) continue;
        const WorkingLock lock(path);
        if (!lock.held()) continue;  // a running program writes it
        if (removeEntry(path)) removed << name;
    }
    return removed;
}

WorkingNote::WorkingNote(const QString& notesFolder, const QString& workingPath) {
    if (!QDir().mkpath(notesFolder)) return;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QString path = QDir(notesFolder).filePath(randomLetters(12) + QStringLiteral(".note"));
        UniqueFd fd(::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST) continue;
            return;
        }
        const QByteArray text = workingPath.toUtf8();
        if (::write(fd.get(), text.constData(), size_t(text.size())) != text.size()) {
            ::unlink(encoded(path).constData());
            return;
        }
        lock_ = WorkingLock(path);
        path_ = path;
        return;
    }
}

WorkingNote::~WorkingNote() {
    // Removed while still held: nobody follows a note of a file that is being written.
    if (!path_.isEmpty()) ::unlink(encoded(path_).constData());
}

QString defaultNotesFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quorvane/unfinished");
}

QStringList removeAbandonedNotedFiles(const QString& notesFolder) {
    QStringList removed;
    const QDir notes(notesFolder);
    for (const QString& name : notes.entryList({QStringLiteral("*.note")}, QDir::Files | QDir::Hidden)) {
        const QString notePath = notes.filePath(name);
        const WorkingLock noteLock(notePath);
        if (!noteLock.held()) continue;  // its export runs
        QFile note(notePath);
        if (!note.open(QIODevice::ReadOnly)) continue;
        const QString noted = QString::fromUtf8(note.read(64 * 1024));
        note.close();
        struct stat st {};
        if (isWorkingName(QFileInfo(noted).fileName()) && entryStatus(noted, &st)) {
            // Only a working file of this user; anything else the note names is left alone.
            if (S_ISREG(st.st_mode) && ownedByUs(st)) {
                const WorkingLock fileLock(noted);
                if (!fileLock.held()) continue;  // still written: the note stays with it
                if (::unlink(encoded(noted).constData()) == 0) removed << noted;
            }
        }
        ::unlink(encoded(notePath).constData());
    }
    return removed;
}

}  // namespace qv::library
