#pragma once
// Records of what the program makes outside its own folders for a while: a copy on its way into
// the library, the slides of a presentation being made, LibreOffice's folders, a GIF being
// written, a movie being recorded. A record is written into the program's records folder and
// locked BEFORE what it names is made, and removed only AFTER that is gone or has taken its final
// place. The kernel drops the lock with the process, so a killed run leaves its records unlocked:
// the next start follows them to what that run left behind. A clean-up removes only what a record
// names, never anything by the shape of its name, so a teacher's file that merely looks like a
// working file is never touched. Plain POSIX file work, callable from any thread.
#include <functional>
#include <string>
#include <vector>

namespace qv::util {

// "Quorvane/unfinished" in the user's data folder ($XDG_DATA_HOME, or ~/.local/share); empty
// where there is neither.
std::string defaultRecordsFolder();

// What a record holds, in the order its maker wrote it: a kind, then the paths and facts of what it
// names (see the makers).
using RecordFields = std::vector<std::string>;

class WorkingRecord {
public:
    WorkingRecord() = default;
    // Writes a new record holding `fields` into `folder` (made when missing), locked. Where it
    // cannot be written kept() is false and nothing else changes.
    WorkingRecord(const std::string& folder, const RecordFields& fields);
    // The record goes (while still locked: nobody follows a record whose maker is alive).
    ~WorkingRecord();
    WorkingRecord(WorkingRecord&& other) noexcept;
    WorkingRecord& operator=(WorkingRecord&& other) noexcept;
    WorkingRecord(const WorkingRecord&) = delete;
    WorkingRecord& operator=(const WorkingRecord&) = delete;

    bool kept() const { return fd_ >= 0; }
    const RecordFields& fields() const { return fields_; }
    // Replaces what the record holds (another name about to be tried), or adds to it (a fact of
    // what was made, once it exists). False when the record could not be written.
    bool rewrite(const RecordFields& fields);
    bool add(const RecordFields& more);

private:
    void close();
    std::string path_;
    int fd_ = -1;
    RecordFields fields_;
};

// Calls `follow` with the fields of each record in `folder` that no running program holds; the
// record goes when `follow` returns true and stays otherwise. A record is held locked while it is
// followed, so two starts never follow the same one. Within one program the passes follow one
// after another: the recordings' and the working files' passes start together at start-up, and
// each would otherwise take the record the other holds for a moment for one of a running maker.
void followAbandonedRecords(const std::string& folder,
                            const std::function<bool(const RecordFields&)>& follow);

// Which file or folder `path` is (not following a link), as a record keeps it: its device, inode
// and, where the file system keeps one, time of birth; empty when there is nothing there. The same
// for an open descriptor.
std::string identityOf(const std::string& path);
std::string identityOfDescriptor(int fd);

// The value that follows `key` among `fields` ("made", say); empty when there is none.
std::string recordValue(const RecordFields& fields, const std::string& key);

}  // namespace qv::util
