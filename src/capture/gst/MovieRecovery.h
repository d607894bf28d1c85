#pragma once
// Finishing movies whose recording was interrupted (the program killed, the machine off).
//
// A recording is written as a fragmented MP4 and turned into an ordinary one when it stops. A
// recording that never stopped is left fragmented: it plays, but its header names only the first
// fragment, so players and file managers show a wrong length. Finishing one that was itself cut
// short leaves a hidden ".<name>.part" copy beside it. Recovery finds both and finishes the movie
// without encoding it again. A movie that a running recorder still writes is locked and is left
// alone.
//
// A recorder killed at its first instant leaves a movie that holds no picture: an empty hidden
// file (".<name>.new-XXXXXX") before the movie takes its name, an empty movie or one with nothing
// but its header after. The writer records its movie before it makes the file (see
// util/WorkingRecords.h), and recovery removes what holds no picture only where a record names
// that very file: a teacher's own empty file is never taken for one.
#include <QString>
#include <QStringList>

#include <memory>

#include "util/WorkingRecords.h"

namespace qv::gst {

struct RecoveryReport {
    QStringList recovered;  // file names finished into ordinary movies
    QStringList failed;     // "name: reason" for movies that could not be finished (left as they are)
    QStringList removed;    // file names of recordings killed before their first picture, removed
    bool empty() const { return recovered.isEmpty() && failed.isEmpty() && removed.isEmpty(); }
};

// An exclusive advisory lock on a movie file: its writer holds one for as long as it records and
// finishes the file, and recovery leaves a locked file alone. The kernel drops it with the process,
// so a killed recorder leaves no lock behind.
class MovieFileLock {
public:
    explicit MovieFileLock(const QString& path);  // does not wait: held() tells whether it was had
    // Makes `path` an empty file that is locked from the moment it exists, replacing any file of
    // that name: createHidden(), then takeName(). Null, with `error` set, when the file cannot be
    // made. `recordsFolder` empty: the program's own.
    static std::unique_ptr<MovieFileLock> createLocked(const QString& path, QString* error,
                                                       const QString& recordsFolder = {});
    // The first half: a new, empty, locked file under a hidden name beside `path`
    // (".<name>.new-XXXXXX", made with the mode the umask leaves), the movie recorded before it.
    static std::unique_ptr<MovieFileLock> createHidden(const QString& path, QString* error,
                                                       const QString& recordsFolder = {});
    // The second: the hidden file takes the movie's name.
    bool takeName(QString* error);
    // Closes the file; its record goes with it (once the movie is complete).
    ~MovieFileLock();
    MovieFileLock(const MovieFileLock&) = delete;
    MovieFileLock& operator=(const MovieFileLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    MovieFileLock() = default;
    util::WorkingRecord record_;
    QString path_;
    QString hidden_;
    int fd_ = -1;
};

// True when `path` is an MP4 file with movie fragments (a "moof" box at the top level).
bool isFragmentedMovie(const QString& path);

// Looks through `folder` (not below it) for interrupted recordings and finishes them, and removes
// what the records in `recordsFolder` (the program's own when empty) show a killed recorder left
// there without a picture. Blocks the calling thread for as long as the copies take: call it off
// the main thread.
RecoveryReport recoverInterruptedMovies(const QString& folder, const QString& recordsFolder = {});

}  // namespace qv::gst
