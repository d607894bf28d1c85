#pragma once
// One blocking stream-socket descriptor: the listening socket, accepting, buffered reads of bytes,
// lines and bodies, and writes of buffers, texts and whole files.
//
// Ownership: the descriptor is closed once, by close() or when the object goes, and only by the
// thread that serves it. Other threads end a connection with shutdownConnection(), which makes
// its pending and later reads and writes fail without releasing the descriptor number.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qv::server {

class File;

// A failed socket call, carrying the host's text for errno captured right after the call.
class SocketError : public std::runtime_error {
public:
    enum class Case {
        socketCreationFailed,
        socketSettingReUseAddrFailed,
        bindFailed,
        listenFailed,
        writeFailed,
        getPeerNameFailed,
        getNameInfoFailed,
        acceptFailed,
        recvFailed,
        getSockNameFailed,
        convertingPeerNameFailed
    };
    SocketError(Case c, std::string text, int errorNumber = 0);
    Case errorCase() const { return case_; }
    int errorNumber() const { return errorNumber_; }
    const std::string& text() const { return text_; }
    static const char* caseName(Case c);

private:
    Case case_;
    std::string text_;
    int errorNumber_;
};

// Something that bytes can be received from: a socket, or memory in tests and fuzzers.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to max bytes into the buffer; at least one, or throws recvFailed (peer closed, error).
    virtual std::size_t receive(std::uint8_t* into, std::size_t max) = 0;
};

// Reads lines and bodies from a source through one buffer, never one call per byte. Bytes beyond
// what a read asked for stay in the buffer for the next request on the same connection.
class BufferedReader {
public:
    explicit BufferedReader(ByteSource& source) : source_(source) {}
    std::uint8_t readByte();
    // A line up to LF; the LF and a CR right before it are not kept. A tab is kept; any other
    // control byte (below 32, or 127, or a CR elsewhere) throws ControlByte, so that no byte can
    // vanish from a name. Bytes 0x80..0xFF are taken as ISO-8859-1 characters and come back
    // UTF-8 encoded. More than maxLength bytes before the LF throws LineTooLong.
    std::string readLine(std::size_t maxLength = SIZE_MAX);
    std::vector<std::uint8_t> readBytes(std::size_t count);
    // Bytes that arrived before this reader took over; later reads return them first.
    void keep(const std::uint8_t* bytes, std::size_t count);

    struct LineTooLong : std::runtime_error {
        LineTooLong() : std::runtime_error("line too long") {}
    };
    struct ControlByte : std::runtime_error {
        ControlByte() : std::runtime_error("control byte in line") {}
    };

private:
    void fill();
    ByteSource& source_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(16 * 1024);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

class Socket : public ByteSource {
public:
    // -1 stands for the placeholder that a server holds before it first starts.
    explicit Socket(int descriptor = -1);
    ~Socket() override;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // A listening IPv4 (or IPv6) socket bound to the address text (any address when absent or
    // when the text does not convert).
    static Socket makeListening(std::uint16_t port, bool ipv4Only, int backlog,
                                const std::optional<std::string>& address);
    // Waits for the next client on a listening socket.
    Socket acceptClient();

    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;

    int socketFileDescriptor() const { return descriptor_; }
    bool isShutdown() const { return shutdown_; }
    // Closes the descriptor once; later calls do nothing. Only the owning thread calls it.
    void close();
    // Ends the connection's traffic from any thread (reads and writes then fail; accept on a
    // listening socket returns); the descriptor stays open until close().
    void shutdownConnection();

    std::uint16_t localPort() const;
    bool isIPv4() const;
    std::string peerName() const;
    // Back to blocking calls after the engine served the connection without waiting.
    void setBlocking(bool blocking);
    // Read and write timeouts of the connection (zero: none).
    void setTimeouts(std::chrono::milliseconds read, std::chrono::milliseconds write);
    // Reads fail once this moment has passed (none: no deadline).
    void setReadDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) { deadline_ = deadline; }

    std::uint8_t readByte() { return reader_.readByte(); }
    std::vector<std::uint8_t> readBytes(std::size_t count) { return reader_.readBytes(count); }
    std::string readLine(std::size_t maxLength = SIZE_MAX) { return reader_.readLine(maxLength); }
    BufferedReader& reader() { return reader_; }

    // moreFollows: the kernel may hold the bytes back to send them with what comes next.
    void writeBuffer(const void* bytes, std::size_t length, bool moreFollows = false);
    void writeUTF8(std::string_view text) { writeBuffer(text.data(), text.size()); }
    void write(std::span<const std::uint8_t> bytes) { writeBuffer(bytes.data(), bytes.size()); }
    // The whole file from its start, as long as the file said it was when opened; a file that
    // ends early fails with writeFailed so that the connection is closed.
    void writeFile(File& file);

    std::size_t receive(std::uint8_t* into, std::size_t max) override;

private:
    int descriptor_ = -1;
    bool shutdown_ = false;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    BufferedReader reader_{*this};
};

}  // namespace qv::server
