#pragma once
// Finishing movies whose recording was interrupted (the program killed, the machine off).
//
// A recording is written as a fragmented MP4 and turned into an ordinary one when it stops. A
// recording that never stopped is left fragmented: it plays, but its header names only the first
// fragment, so players and file managers show a wrong length. Finishing one that was itself cut
// short leaves a hidden ".<name>.part" copy beside it. Recovery finds both and finishes the movie
// without encoding it again. A movie that a running recorder still writes is locked and is left
// alone.
#include <QString>
#include <QStringList>

#include <memory>

namespace qv::gst {

struct RecoveryReport {
    QStringList recovered;  // file names finished into ordinary movies
    QStringList failed;     // "name: reason" for movies that could not be finished (left as they are)
    bool empty() const { return recovered.isEmpty() && failed.isEmpty(); }
};

// An exclusive advisory lock on a movie file: its writer holds one for as long as it records and
// finishes the file, and recovery leaves a locked file alone. The kernel drops it with the process,
// so a killed recorder leaves no lock behind.
class MovieFileLock {
public:
    explicit MovieFileLock(const QString& path);  // does not wait: held() tells whether it was had
    // Makes `path` an empty file that is locked from the moment it exists (made under a hidden
    // name beside it, locked, then renamed), replacing any file of that name. Null, with `error`
    // set, when the file cannot be made.
    static std::unique_ptr<MovieFileLock> createLocked(const QString& path, QString* error);
    ~MovieFileLock();
    MovieFileLock(const MovieFileLock&) = delete;
    MovieFileLock& operator=(const MovieFileLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    MovieFileLock() = default;
    int fd_ = -1;
};

// True when `path` is an MP4 file with movie fragments (a "moof" box at the top level).
bool isFragmentedMovie(const QString& path);

// Looks through `folder` (not below it) for interrupted recordings and finishes them. Blocks the
// calling thread for as long as the copies take: call it off the main thread.
RecoveryReport recoverInterruptedMovies(const QString& folder);

}  // namespace qv::gst
