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

std::string encodedString(const QString& path) {
    return encoded(path).toStdString();
}

constexpr const char* kEntry = "working entry";
constexpr const char* kMade = "made";

// Tries names until one is free; `make` creates the entry and returns 0, or an errno value. Each
// name is written into `record` before it is tried, and the made entry's identity after.
template <typename Make>
std::optional<QString> createUnder(const QString& folder, const QString& name, const QString& tag,
                                   util::WorkingRecord& record, Make make, QString* error) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QString path = QDir(folder).filePath(workingName(name, tag));
        // Without a record (no data folder) the entry is still made: a killed run then leaves it
        // for good, but never anyone's file in danger.
        const std::string recorded = encodedString(QFileInfo(path).absoluteFilePath());
        if (record.kept()) record.rewrite({kEntry, recorded});
        const int failure = make(path);
        if (failure == 0) {
            if (record.kept()) record.add({kMade, util::identityOf(recorded)});
            return path;
        }
        if (failure != EEXIST) {
            if (error) *error = QString::fromLocal8Bit(std::strerror(failure));
            return std::nullopt;
        }
    }
    if (error) *error = QStringLiteral("no free working name in ") + folder;
    return std::nullopt;
}

util::WorkingRecord newRecord(const QString& recordsFolder) {
    const QString where = recordsFolder.isEmpty() ? defaultRecordsFolder() : recordsFolder;
    return util::WorkingRecord(encodedString(where), {kEntry, std::string()});
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
    return pattern.match(name).hasMatch();
}

QString defaultRecordsFolder() {
    return QFile::decodeName(QByteArray::fromStdString(util::defaultRecordsFolder()));
}

std::optional<WorkingFile> createWorkingFile(const QString& folder, const QString& name, const QString& tag,
                                             QString* error, const QString& recordsFolder) {
    util::WorkingRecord record = newRecord(recordsFolder);
    UniqueFd fd;
    const std::optional<QString> path = createUnder(
        folder, name, tag, record,
        [&](const QString& p) {
            fd = UniqueFd(::open(encoded(p).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            return fd.valid() ? 0 : errno;
        },
        error);
    if (!path) return std::nullopt;
    return WorkingFile{std::move(record), *path, std::move(fd), WorkingLock(*path)};
}

std::optional<WorkingFolder> createWorkingFolder(const QString& folder, const QString& name,
                                                 const QString& tag, QString* error,
                                                 const QString& recordsFolder) {
    util::WorkingRecord record = newRecord(recordsFolder);
    const std::optional<QString> path = createUnder(
        folder, name, tag, record,
        [](const QString& p) { return ::mkdir(encoded(p).constData(), 0777) == 0 ? 0 : errno; }, error);
    if (!path) return std::nullopt;
    return WorkingFolder{std::move(record), *path, WorkingLock(*path)};
}

bool removeEntry(const QString& path) {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(encoded(path).toStdString()), ec);
    return !ec;
}

QStringList removeAbandonedWorkingEntries(const QString& recordsFolder,
                                          const std::function<void(const QString&)>& beforeFolder) {
    QStringList removed;
    util::followAbandonedRecords(encodedString(recordsFolder), [&](const util::RecordFields& fields) {
        // Records of earlier versions named one GIF being written, and nothing else.
        const bool earlier = fields.size() == 1;
        if (!earlier && (fields.size() < 2 || fields[0] != kEntry)) return false;  // another maker's
        const QString path = QFile::decodeName(QByteArray::fromStdString(earlier ? fields[0] : fields[1]));
        const std::string made = util::recordValue(fields, kMade);
        struct stat st {};
        if (path.isEmpty()) return true;
        // Never made, or already in its place; unless its folder is away (a disk not mounted), when
        // the record waits for it.
        if (!entryStatus(path, &st)) return QFileInfo(QFileInfo(path).absolutePath()).isDir();
        // Only the very entry the record names: of this user, no link, under a working name, and
        // where its identity was written down, that one.
        const bool ours = ownedByUs(st) && (S_ISREG(st.st_mode) || (!earlier && S_ISDIR(st.st_mode))) &&
                          isWorkingName(QFileInfo(path).fileName()) &&
                          (made.empty() || made == util::identityOf(encodedString(path)));
        if (!ours) return true;  // the record is done with; the entry is not ours to remove
        const WorkingLock lock(path);
        if (!lock.held()) return false;  // still written by someone: the record stays with it
        if (S_ISDIR(st.st_mode) && beforeFolder) beforeFolder(path);
        if (removeEntry(path)) removed << path;
        return true;
    });
    return removed;
}

}  // namespace qv::library
