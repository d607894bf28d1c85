#pragma once
// Files and folders the library writes for a while before they take their place: a copy on its way
// into "~library/", the slides of a presentation being made, a GIF being written where the teacher
// asked. Each has a hidden working name beside its final place (within the 255-byte limit of a
// name, whatever the length of the final one) and is held under a lock by the program that writes
// it, so that what a killed run left behind can be told from what a running one is using, and
// removed at the next start. Plain file work, callable from any thread.
#include <QString>
#include <QStringList>

#include <optional>

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
// True for a name workingName() makes, whatever its name part and tag (and for the names earlier
// versions of the program gave their working files in the library folder).
bool isWorkingName(const QString& name);

// A new, empty, locked working file in `folder`, created with the mode the umask leaves of 0666.
struct WorkingFile {
    QString path;
    UniqueFd fd;  // open for writing
    WorkingLock lock;
};
std::optional<WorkingFile> createWorkingFile(const QString& folder, const QString& name, const QString& tag,
                                             QString* error);

// A new, empty, locked working folder in `folder`.
struct WorkingFolder {
    QString path;
    WorkingLock lock;
};
std::optional<WorkingFolder> createWorkingFolder(const QString& folder, const QString& name, const QString& tag,
                                                 QString* error);

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

// Removes the working files and folders directly in `folder` that this user owns and no running
// program holds. Returns their names.
QStringList removeAbandonedWorkingFiles(const QString& folder);

// A note, kept for as long as this lives, of a working file written outside the program's own
// folders (a GIF in whatever folder the teacher chose). A killed run leaves its notes behind, and
// they lead the next start to the files.
class WorkingNote {
public:
    WorkingNote() = default;
    // Writes the note into `notesFolder` (made when missing); on failure the note is simply not
    // kept and nothing else changes.
    WorkingNote(const QString& notesFolder, const QString& workingPath);
    ~WorkingNote();
    WorkingNote(WorkingNote&&) = default;
    WorkingNote& operator=(WorkingNote&&) = default;
    bool kept() const { return !path_.isEmpty(); }

private:
    QString path_;
    WorkingLock lock_;
};

// Where the program keeps its notes: "Quorvane/unfinished" in the user's data folder.
QString defaultNotesFolder();

// Follows the notes in `notesFolder` that no running program holds: removes each noted working
// file (only a working file of this user, never a link) and the note. Returns the paths removed.
QStringList removeAbandonedNotedFiles(const QString& notesFolder);

}  // namespace qv::library
