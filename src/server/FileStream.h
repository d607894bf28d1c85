#pragma once
// The server's small file layer: one open standard-I/O stream owned by one user at a time, and a
// few path helpers (existence, directory test, listing, working directory).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv::server {

// A failed file call, carrying the errno of that call (0 when none was set).
class FileError : public std::runtime_error {
public:
    explicit FileError(int errorNumber);
    int errorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

// Owns one open stream; closed by close() or when the object goes.
class File {
public:
    static File open(const std::string& path, const char* mode);
    static File openRead(const std::string& path) { return open(path, "rb"); }
    static File openWrite(const std::string& path) { return open(path, "wb"); }
    static File openReadWrite(const std::string& path) { return open(path, "r+b"); }
    // Opens a regular file for reading without ever blocking on a FIFO or device: anything that is
    // not a regular file is refused with ENOENT-like FileError (EISDIR for directories, EINVAL else).
    // The size is taken from the opened descriptor.
    static File openRegularFile(const std::string& path);
    // The same, but only when opening and then reading the whole file cannot wait on a disk: every
    // name of the path is in the kernel's lookup cache and every byte of the file in its page
    // cache. Nothing otherwise, and also wherever the kernel cannot tell.
    static std::optional<File> openCachedRegularFile(const std::string& path);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    bool isOpen() const { return pointer_ != nullptr; }
    void close();
    bool seek(std::int64_t offset);
    // Fills the buffer as far as the stream allows; answers the count (0 for an empty buffer).
    std::size_t read(std::span<std::uint8_t> into);
    void write(std::span<const std::uint8_t> bytes);
    int descriptor() const;
    // The length in bytes as the opened file reported it when opened with openRegularFile, else
    // the current length of the open file.
    std::int64_t size() const;

private:
    explicit File(std::FILE* pointer, std::int64_t knownSize = -1) : pointer_(pointer), knownSize_(knownSize) {}
    std::FILE* pointer_ = nullptr;
    std::int64_t knownSize_ = -1;
};

// Placed between a directory and a name by the file handlers.
inline const std::string fileSeparator = "/";

bool fileExists(const std::string& path);        // false for ENOENT; other failures throw FileError
bool isDirectoryPath(const std::string& path);   // false for ENOENT; other failures throw FileError
std::vector<std::string> directoryEntries(const std::string& path);  // "." and ".." included
std::string currentDirectory();

}  // namespace qv::server
