#include "server/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "server/FileStream.h"

namespace qv::server {

namespace {
std::string errorText(int error) { return std::strerror(error); }
}  // namespace

SocketError::SocketError(Case c, std::string text, int errorNumber)
    : std::runtime_error(std::string(caseName(c)) + "(\"" + text + "\")"),
      case_(c),
      text_(std::move(text)),
      errorNumber_(errorNumber) {}

const char* SocketError::caseName(Case c) {
    switch (c) {
        case Case::socketCreationFailed: return "socketCreationFailed";
        case Case::socketSettingReUseAddrFailed: return "socketSettingReUseAddrFailed";
        case Case::bindFailed: return "bindFailed";
        case Case::listenFailed: return "listenFailed";
        case Case::writeFailed: return "writeFailed";
        case Case::getPeerNameFailed: return "getPeerNameFailed";
        case Case::getNameInfoFailed: return "getNameInfoFailed";
        case Case::acceptFailed: return "acceptFailed";
        case Case::recvFailed: return "recvFailed";
        case Case::getSockNameFailed: return "getSockNameFailed";
        case Case::convertingPeerNameFailed: return "convertingPeerNameFailed";
    }
    return "unknown";
}

// --- buffered reading ---

void BufferedReader::fill() {
    if (begin_ == end_) begin_ = end_ = 0;
    if (end_ == buffer_.size()) {
        std::move(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_), buffer_.begin() + static_cast<std::ptrdiff_t>(end_),
                  buffer_.begin());
        end_ -= begin_;
        begin_ = 0;
    }
    end_ += source_.receive(buffer_.data() + end_, buffer_.size() - end_);
}

std::uint8_t BufferedReader::readByte() {
    if (begin_ == end_) fill();
    return buffer_[begin_++];
}

std::string BufferedReader::readLine(std::size_t maxLength) {
    std::string raw;
    for (;;) {
        if (begin_ == end_) fill();
        const std::uint8_t* start = buffer_.data() + begin_;
        const std::uint8_t* stop = buffer_.data() + end_;
        const std::uint8_t* lf = std::find(start, stop, std::uint8_t{10});
        std::size_t count = static_cast<std::size_t>(lf - start);
        if (count > maxLength - raw.size()) throw LineTooLong();
        raw.append(reinterpret_cast<const char*>(start), count);
        begin_ += count;
        if (lf != stop) {
            ++begin_;
            break;
        }
    }
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line;
    line.reserve(raw.size());
    for (char c : raw) {
        auto b = static_cast<std::uint8_t>(c);
        if ((b < 32 && b != 9) || b == 127) throw ControlByte();
        if (b < 0x80) {
            line += c;
        } else {
            line += static_cast<char>(0xC0 | (b >> 6));
            line += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return line;
}

void BufferedReader::keep(const std::uint8_t* bytes, std::size_t count) {
    std::vector<std::uint8_t> kept(bytes, bytes + count);
    kept.insert(kept.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
                buffer_.begin() + static_cast<std::ptrdiff_t>(end_));
    if (kept.size() < 16 * 1024) kept.resize(16 * 1024);
    end_ = count + (end_ - begin_);
    begin_ = 0;
    buffer_ = std::move(kept);
}

std::vector<std::uint8_t> BufferedReader::readBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(count);
    while (bytes.size() < count) {
        if (begin_ == end_) {
            // Large bodies go straight into the result once the buffer is drained.
            std::size_t missing = count - bytes.size();
            if (missing >= buffer_.size()) {
                std::size_t old = bytes.size();
                bytes.resize(old + missing);
                std::size_t got = source_.receive(bytes.data() + old, missing);
                bytes.resize(old + got);
                continue;
            }
            fill();
        }
        std::size_t take = std::min(count - bytes.size(), end_ - begin_);
        bytes.insert(bytes.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
                     buffer_.begin() + static_cast<std::ptrdiff_t>(begin_ + take));
        begin_ += take;
    }
    return bytes;
}

// --- socket ---

Socket::Socket(int descriptor) : descriptor_(descriptor) {}

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept : descriptor_(other.descriptor_), shutdown_(other.shutdown_) {
    // A moved socket starts with an empty read buffer: sockets are only moved before any read.
    other.descriptor_ = -1;
    other.shutdown_ = true;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = other.descriptor_;
        shutdown_ = other.shutdown_;
        other.descriptor_ = -1;
        other.shutdown_ = true;
    }
    return *this;
}

void Socket::close() {
    if (shutdown_) return;
    shutdown_ = true;
    if (descriptor_ >= 0) ::close(descriptor_);
}

void Socket::shutdownConnection() {
    if (descriptor_ >= 0) ::shutdown(descriptor_, SHUT_RDWR);
}

Socket Socket::makeListening(std::uint16_t port, bool ipv4Only, int backlog, const std::optional<std::string>& address) {
    int fd = ::socket(ipv4Only ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw SocketError(SocketError::Case::socketCreationFailed, errorText(errno));
    auto failWith = [fd](SocketError::Case c) {
        std::string text = errorText(errno);
        ::close(fd);
        throw SocketError(c, std::move(text));
    };
    int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0)
        failWith(SocketError::Case::socketSettingReUseAddrFailed);
    int result;
    if (ipv4Only) {
        sockaddr_in record{};
        record.sin_family = AF_INET;
        record.sin_port = htons(port);
        record.sin_addr.s_addr = htonl(INADDR_ANY);
        if (address && ::inet_pton(AF_INET, address->c_str(), &record.sin_addr) != 1)
            record.sin_addr.s_addr = htonl(INADDR_ANY);
        result = ::bind(fd, reinterpret_cast<sockaddr*>(&record), sizeof record);
    } else {
        sockaddr_in6 record{};
        record.sin6_family = AF_INET6;
        record.sin6_port = htons(port);
        record.sin6_addr = in6addr_any;
        if (address && ::inet_pton(AF_INET6, address->c_str(), &record.sin6_addr) != 1) record.sin6_addr = in6addr_any;
        result = ::bind(fd, reinterpret_cast<sockaddr*>(&record), sizeof record);
    }
    if (result != 0) failWith(SocketError::Case::bindFailed);
    if (::listen(fd, backlog) != 0) failWith(SocketError::Case::listenFailed);
    return Socket(fd);
}

Socket Socket::acceptClient() {
    int fd;
    do {
        fd = ::accept4(descriptor_, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && (errno == EINTR || errno == ECONNABORTED));
    if (fd < 0) {
        int error = errno;
        throw SocketError(SocketError::Case::acceptFailed, errorText(error), error);
    }
    return Socket(fd);
}

std::uint16_t Socket::localPort() const {
    sockaddr_storage record{};
    socklen_t length = sizeof record;
    if (::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&record), &length) != 0)
        throw SocketError(SocketError::Case::getSockNameFailed, errorText(errno));
    if (record.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&record)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&record)->sin_port);
}

bool Socket::isIPv4() const {
    sockaddr_storage record{};
    socklen_t length = sizeof record;
    if (::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&record), &length) != 0)
        throw SocketError(SocketError::Case::getSockNameFailed, errorText(errno));
    return record.ss_family == AF_INET;
}

std::string Socket::peerName() const {
    sockaddr_storage record{};
    socklen_t length = sizeof record;
    if (::getpeername(descriptor_, reinterpret_cast<sockaddr*>(&record), &length) != 0)
        throw SocketError(SocketError::Case::getPeerNameFailed, errorText(errno));
    char host[NI_MAXHOST] = {};
    int status = ::getnameinfo(reinterpret_cast<sockaddr*>(&record), length, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
    if (status != 0) throw SocketError(SocketError::Case::getNameInfoFailed, ::gai_strerror(status));
    return host;
}

void Socket::setBlocking(bool blocking) {
    int flags = ::fcntl(descriptor_, F_GETFL, 0);
    if (flags < 0) return;
    ::fcntl(descriptor_, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

void Socket::setTimeouts(std::chrono::milliseconds read, std::chrono::milliseconds write) {
    auto toTimeval = [](std::chrono::milliseconds ms) {
        timeval tv{};
        tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
        tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
        return tv;
    };
    timeval r = toTimeval(read), w = toTimeval(write);
    ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r);
    ::setsockopt(descriptor_, SOL_SOCKET, SO_SNDTIMEO, &w, sizeof w);
}

std::size_t Socket::receive(std::uint8_t* into, std::size_t max) {
    for (;;) {
        if (deadline_ && std::chrono::steady_clock::now() >= *deadline_)
            throw SocketError(SocketError::Case::recvFailed, errorText(ETIMEDOUT));
        ssize_t n = ::recv(descriptor_, into, max, 0);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n == 0) throw SocketError(SocketError::Case::recvFailed, "Connection closed by peer");
        if (errno == EINTR) continue;
        throw SocketError(SocketError::Case::recvFailed, errorText(errno));
    }
}

void Socket::writeBuffer(const void* bytes, std::size_t length, bool moreFollows) {
    const auto* p = static_cast<const char*>(bytes);
    std::size_t sent = 0;
    while (sent < length) {
        // MSG_NOSIGNAL: a peer that went away gives EPIPE instead of killing the process.
        ssize_t n = ::send(descriptor_, p + sent, length - sent, MSG_NOSIGNAL | (moreFollows ? MSG_MORE : 0));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw SocketError(SocketError::Case::writeFailed, errorText(n == 0 ? EPIPE : errno));
        sent += static_cast<std::size_t>(n);
    }
}

void Socket::writeFile(File& file) {
    std::int64_t length = file.size();
    if (length < 0) throw SocketError(SocketError::Case::writeFailed, "sendfile: " + errorText(EBADF));
    off_t offset = 0;
    while (offset < length) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(length - offset, 1 << 30));
        ssize_t n = ::sendfile(descriptor_, file.descriptor(), &offset, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SocketError(SocketError::Case::writeFailed, "sendfile: " + errorText(errno));
        // The file became shorter than announced: the connection must end rather than stall.
        if (n == 0) throw SocketError(SocketError::Case::writeFailed, "sendfile: file ended early");
    }
}

}  // namespace qv::server
