#include "util/WorkingRecords.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <random>
#include <utility>

namespace qv::util {

namespace {

constexpr int kAttempts = 100;
constexpr size_t kLargestRecord = 64 * 1024;
const std::string kSuffix = ".note";

// Each field ends with a NUL: paths may hold any other byte, a line break among them.
std::string encoded(const RecordFields& fields) {
    std::string out;
    for (const std::string& f : fields) {
        out += f;
        out += '\0';
    }
    return out;
}

// Records of earlier versions held one path and no NUL: that path is their one field.
RecordFields decoded(const std::string& text) {
    RecordFields fields;
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = text.find('\0', from);
        if (end == std::string::npos) {
            fields.push_back(text.substr(from));
            break;
        }
        fields.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return fields;
}

std::string randomName() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, 61);
    std::string name;
    for (int i = 0; i < 12; ++i) name += letters[pick(generator)];
    return name + kSuffix;
}

bool makeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeAll(int fd, const std::string& text) {
    if (::ftruncate(fd, 0) != 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// The device and inode, and where the file system keeps it the time of birth: a number the file
// system gives the next new file once this one is gone does not make that file this one.
std::string identity(int dirFd, const char* path, int flags) {
    struct statx st {};
    if (::statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_INO | STATX_BTIME, &st) != 0) return {};
    std::string out = std::to_string(st.stx_dev_major) + ":" + std::to_string(st.stx_dev_minor) + ":" +
                      std::to_string(static_cast<unsigned long long>(st.stx_ino));
    if (st.stx_mask & STATX_BTIME)
        out += ":" + std::to_string(static_cast<long long>(st.stx_btime.tv_sec)) + "." +
               std::to_string(st.stx_btime.tv_nsec);
    return out;
}

}  // namespace

std::string defaultRecordsFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    return base + "/Quorvane/unfinished";
}

WorkingRecord::WorkingRecord(const std::string& folder, const RecordFields& fields) {
    if (folder.empty() || !makeFolders(folder)) return;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string path = folder + "/" + randomName();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return;
        }
        // Waits for a start that may be looking at the new, still empty record (it leaves an
        // empty one alone).
        if (::flock(fd, LOCK_EX) != 0 || !writeAll(fd, encoded(fields))) {
            ::unlink(path.c_str());
            ::close(fd);
            return;
        }
        path_ = path;
        fd_ = fd;
        fields_ = fields;
        return;
    }
}

WorkingRecord::~WorkingRecord() {
    close();
}

void WorkingRecord::close() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
    path_.clear();
    fields_.clear();
}

WorkingRecord::WorkingRecord(WorkingRecord&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), fields_(std::move(other.fields_)) {}

WorkingRecord& WorkingRecord::operator=(WorkingRecord&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        fields_ = std::move(other.fields_);
    }
    return *this;
}

bool WorkingRecord::rewrite(const RecordFields& fields) {
    if (fd_ < 0 || !writeAll(fd_, encoded(fields))) return false;
    fields_ = fields;
    return true;
}

bool WorkingRecord::add(const RecordFields& more) {
    RecordFields all = fields_;
    all.insert(all.end(), more.begin(), more.end());
    return rewrite(all);
}

void followAbandonedRecords(const std::string& folder,
                            const std::function<bool(const RecordFields&)>& follow) {
    if (folder.empty()) return;
    static std::mutex passes;
    const std::lock_guard<std::mutex> onePass(passes);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > kSuffix.size() &&
            name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0)
            names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        // Held: its maker runs.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        std::string text;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || text.size() > kLargestRecord) break;
            text.append(buffer, size_t(n));
        }
        // An empty record is one being made this instant (its maker waits for this lock).
        if (!text.empty() && text.size() <= kLargestRecord && follow(decoded(text))) ::unlink(path.c_str());
        ::close(fd);
    }
}

std::string identityOf(const std::string& path) {
    return identity(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW);
}

std::string identityOfDescriptor(int fd) {
    return identity(fd, "", AT_EMPTY_PATH);
}

std::string recordValue(const RecordFields& fields, const std::string& key) {
    for (size_t i = 0; i + 1 < fields.size(); i += 2)
        if (fields[i] == key) return fields[i + 1];
    return {};
}

}  // namespace qv::util
