#pragma once
// Files and folders the library writes for a while before they take their place: a copy on its way
// into "~library/", the slides of a presentation being made, LibreOffice's folders, a GIF being
// written where the teacher asked. Each has a hidden working name beside its final place (within
// the 255-byte limit of a name, whatever the length of the final one), is held under a lock by the
// program that writes it, and is named by a record the program writes before it makes it (see
// util/WorkingRecords.h). What a killed run left behind is found through its records at the next
// start and removed; nothing is ever removed for the shape of its name. Plain file work, callable
// from any thread.
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "util/WorkingRecords.h"

namespace qv::library {

// Owns one file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Hands the descriptor over; this one owns nothing afterwards.
    int release();

private:
    int fd_ = -1;
};

// An exclusive advisory lock on a file or folder, held for as long as this lives. The kernel drops
// it with the process, so a killed run leaves no lock behind; child processes do not inherit it.
class WorkingLock {
public:
    WorkingLock() = default;
    // Does not wait: held() tells whether the lock was had. A link is never followed.
    explicit WorkingLock(const QString& path);
    bool held() const { return fd_.valid(); }

private:
    UniqueFd fd_;
};

// "." + name + "." + tag + "-" + six random letters and digits + ".part", the name shortened (at a
// character boundary) where the whole would pass 255 bytes.
QString workingName(const QString& name, const QString& tag);
// True for a name workingName() makes, whatever its name part and tag.
bool isWorkingName(const QString& name);

// Where the program keeps its records (see util/WorkingRecords.h).
QString defaultRecordsFolder();

// A new, empty, locked working file in `folder`, created with the mode the umask leaves of 0666,
// and named by a record in `recordsFolder` (the program's own when empty) that was written before
// it. The record goes with this: remove or rename the file first.
struct WorkingFile {
    util::WorkingRecord record;
    QString path;
    UniqueFd fd;  // open for writing
    WorkingLock lock;
};
std::optional<WorkingFile> createWorkingFile(const QString& folder, const QString& name, const QString& tag,
                                             QString* error, const QString& recordsFolder = {});

// A new, empty, locked working folder in `folder`, named by a record as a working file is.
struct WorkingFolder {
    util::WorkingRecord record;
    QString path;
    WorkingLock lock;
};
std::optional<WorkingFolder> createWorkingFolder(const QString& folder, const QString& name,
                                                 const QString& tag, QString* error,
                                                 const QString& recordsFolder = {});

// Removes a file, or a folder with what it holds, never following a link (a link goes itself).
bool removeEntry(const QString& path);

// Removes a working file or folder when it goes out of scope, unless it was kept.
class Discard {
public:
    explicit Discard(QString path) : path_(std::move(path)) {}
    ~Discard() {
        if (!path_.isEmpty()) removeEntry(path_);
    }
    Discard(const Discard&) = delete;
    Discard& operator=(const Discard&) = delete;
    void keep() { path_.clear(); }

private:
    QString path_;
};

// Follows the records in `recordsFolder` that no running program holds to the working files and
// folders a killed run left: removes each that is still the very file or folder its record names
// (a working file of this user, never a link, held by nobody); `beforeFolder` runs before a folder
// goes. Whatever else a record names is left alone, and so is everything no record names. Returns
// the paths removed.
QStringList removeAbandonedWorkingEntries(const QString& recordsFolder,
                                          const std::function<void(const QString&)>& beforeFolder = {});

}  // namespace qv::library
