#include "server/FileStream.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

namespace qv::server {

FileError::FileError(int errorNumber)
    : std::runtime_error(std::string("error(") + std::to_string(errorNumber) + "): " + std::strerror(errorNumber)),
      errorNumber_(errorNumber) {}

File File::open(const std::string& path, const char* mode) {
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (!f) throw FileError(errno);
    return File(f);
}

File File::openRegularFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait; regular files ignore the flag.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw FileError(errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        int error = errno;
        ::close(fd);
        throw FileError(error);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        throw FileError(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        int error = errno;
        ::close(fd);
        throw FileError(error);
    }
    return File(f, static_cast<std::int64_t>(status.st_size));
}

namespace {

// The page-cache census of a stretch of a file (the kernel's cachestat call, Linux 6.5 and later).
#ifndef SYS_cachestat
#define SYS_cachestat 451
#endif
struct CacheStatRange {
    std::uint64_t offset;
    std::uint64_t length;
};
struct CacheStat {
    std::uint64_t cached;
    std::uint64_t dirty;
    std::uint64_t writeback;
    std::uint64_t evicted;
    std::uint64_t recentlyEvicted;
};

// Cleared for good once the kernel shows it lacks one of the two calls.
std::atomic<bool> cacheQueriesWork{true};

bool wholeFileCached(int fd, std::int64_t size) {
    if (size == 0) return true;
    CacheStatRange range{0, static_cast<std::uint64_t>(size)};
    CacheStat census{};
    if (::syscall(SYS_cachestat, fd, &range, &census, 0) != 0) {
        if (errno == ENOSYS) cacheQueriesWork = false;
        return false;
    }
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    return census.cached >= (static_cast<std::uint64_t>(size) + page - 1) / page;
}

}  // namespace

std::optional<File> File::openCachedRegularFile(const std::string& path) {
    if (!cacheQueriesWork.load(std::memory_order_relaxed)) return std::nullopt;
    open_how how{};
    how.flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    how.resolve = RESOLVE_CACHED;
    int fd = static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how));
    if (fd < 0) {
        // EAGAIN: a name needs the disk. ENOSYS, or EINVAL from a kernel without RESOLVE_CACHED.
        if (errno == ENOSYS || errno == EINVAL) cacheQueriesWork = false;
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !wholeFileCached(fd, status.st_size)) {
        ::close(fd);
        return std::nullopt;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return std::nullopt;
    }
    return File(f, static_cast<std::int64_t>(status.st_size));
}

File::File(File&& other) noexcept : pointer_(other.pointer_), knownSize_(other.knownSize_) { other.pointer_ = nullptr; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        pointer_ = other.pointer_;
        knownSize_ = other.knownSize_;
        other.pointer_ = nullptr;
    }
    return *this;
}

File::~File() { close(); }

void File::close() {
    if (pointer_) {
        std::fclose(pointer_);
        pointer_ = nullptr;
    }
}

bool File::seek(std::int64_t offset) { return pointer_ && ::fseeko(pointer_, static_cast<off_t>(offset), SEEK_SET) == 0; }

std::size_t File::read(std::span<std::uint8_t> into) {
    if (into.empty()) return 0;
    std::size_t count = std::fread(into.data(), 1, into.size(), pointer_);
    if (count < into.size() && !std::feof(pointer_)) throw FileError(std::ferror(pointer_) ? errno : 0);
    return count;
}

void File::write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), pointer_) < bytes.size()) throw FileError(errno);
}

int File::descriptor() const { return pointer_ ? ::fileno(pointer_) : -1; }

std::int64_t File::size() const {
    if (knownSize_ >= 0) return knownSize_;
    struct stat status {};
    if (!pointer_ || ::fstat(::fileno(pointer_), &status) != 0) return -1;
    return static_cast<std::int64_t>(status.st_size);
}

namespace {
bool statPath(const std::string& path, struct stat& status) {
    if (::stat(path.c_str(), &status) == 0) return true;
    if (errno == ENOENT) return false;
    throw FileError(errno);
}
}  // namespace

bool fileExists(const std::string& path) {
    struct stat status {};
    return statPath(path, status);
}

bool isDirectoryPath(const std::string& path) {
    struct stat status {};
    return statPath(path, status) && S_ISDIR(status.st_mode);
}

std::vector<std::string> directoryEntries(const std::string& path) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir) throw FileError(errno);
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir.get())) names.emplace_back(entry->d_name);
    return names;
}

std::string currentDirectory() {
    std::unique_ptr<char, void (*)(void*)> cwd(::getcwd(nullptr, 0), std::free);
    if (!cwd) throw FileError(errno);
    return cwd.get();
}

}  // namespace qv::server
