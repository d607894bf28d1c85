#pragma once
// Loopback clients, temporary folders and a running-server guard for the server tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/HttpServer.h"

namespace qv::server::test {

// A connected loopback client; reads time out after 20 s so that a hang fails the test.
class Client {
public:
    // receiveBuffer: a small kernel buffer makes a slow reader (0: the default).
    explicit Client(std::uint16_t port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval tv{20, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("connect failed");
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;  // the server may close early on purpose
            sent += static_cast<std::size_t>(n);
        }
    }
    // Everything until the server closes the connection (or the read times out).
    std::string readAll(bool* closed = nullptr) {
        std::string out;
        char buffer[65536];
        for (;;) {
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) {
                out.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (closed) *closed = n == 0 || errno == ECONNRESET;
            return out;
        }
    }
    // Exactly count bytes, or fewer when the connection ends.
    std::string readExactly(std::size_t count) {
        std::string out;
        char buffer[4096];
        while (out.size() < count) {
            ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - out.size()), 0);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }

    // Whether the server closed the connection within the wait (bytes that arrive are dropped).
    bool closedWithin(std::chrono::milliseconds wait) {
        auto until = std::chrono::steady_clock::now() + wait;
        char buffer[65536];
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
        }
        return false;
    }
    // Whether the server ended the connection within the wait, without taking any of its bytes:
    // a reader that reads nothing.
    bool endedWithin(std::chrono::milliseconds wait) {
        using namespace std::chrono;
        const auto until = steady_clock::now() + wait;
        for (;;) {
            const auto left = duration_cast<milliseconds>(until - steady_clock::now()).count();
            pollfd p{fd_, POLLRDHUP, 0};
            if (::poll(&p, 1, static_cast<int>(std::clamp<long long>(left, 0, 50))) > 0 &&
                (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                return true;
            if (left <= 0) return false;
        }
    }
    // Waits until the kernel's buffer of a reader that reads nothing has been full and still for a
    // while: its server can send it nothing more.
    void waitUntilFull() {
        using namespace std::chrono;
        const auto until = steady_clock::now() + seconds(10);
        int last = -1;
        auto stillSince = steady_clock::now();
        while (steady_clock::now() < until) {
            int queued = 0;
            ::ioctl(fd_, FIONREAD, &queued);
            if (queued != last) {
                last = queued;
                stillSince = steady_clock::now();
            } else if (queued > 0 && steady_clock::now() - stillSince > seconds(1)) {
                return;
            }
            ::poll(nullptr, 0, 10);
        }
    }
    int descriptor() const { return fd_; }

private:
    int fd_ = -1;
};

inline std::string roundTrip(std::uint16_t port, const std::string& request) {
    Client client(port);
    client.send(request);
    return client.readAll();
}

inline std::string get(std::uint16_t port, const std::string& target, const std::string& extraHeaders = {}) {
    return roundTrip(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" +
                              extraHeaders + "\r\n");
}

inline std::string keptAliveRequest(std::uint16_t port, const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: localhost:" + std::to_string(port) + "\r\nConnection: keep-alive\r\n\r\n";
}

// Connections that each asked for target with keep-alive and read its answer, answerLength bytes
// ending in body, opened one after another.
inline std::vector<std::unique_ptr<Client>> keptAliveConnections(std::uint16_t port, int count, const std::string& target,
                                                                 std::size_t answerLength, const std::string& body) {
    std::vector<std::unique_ptr<Client>> kept;
    for (int i = 0; i < count; ++i) {
        kept.push_back(std::make_unique<Client>(port));
        kept.back()->send(keptAliveRequest(port, target));
        const std::string answer = kept.back()->readExactly(answerLength);
        if (answer.size() != answerLength || !answer.ends_with("\r\n\r\n" + body))
            throw std::runtime_error("connection " + std::to_string(i) + " was answered " + answer);
    }
    return kept;
}

// Whether a kept-alive connection answers another request for target with answerLength bytes
// ending in body.
inline bool answersAgain(Client& client, std::uint16_t port, const std::string& target, std::size_t answerLength,
                         const std::string& body) {
    client.send(keptAliveRequest(port, target));
    const std::string answer = client.readExactly(answerLength);
    return answer.size() == answerLength && answer.ends_with("\r\n\r\n" + body);
}

// Readers of a large answer that take nothing of it past its status code, each with a small
// kernel buffer, so that its answer soon stops; opened one after another.
inline std::vector<std::unique_ptr<Client>> stalledReaders(std::uint16_t port, int count, const std::string& target) {
    std::vector<std::unique_ptr<Client>> readers;
    for (int i = 0; i < count; ++i) {
        readers.push_back(std::make_unique<Client>(port, 4096));
        readers.back()->send("GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
        const std::string status = readers.back()->readExactly(12);
        if (status != "HTTP/1.1 200") throw std::runtime_error("reader " + std::to_string(i) + " was answered " + status);
    }
    return readers;
}

// A route answering the text.
inline HttpHandler textHandler(std::string text) {
    return [text](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text(text)); };
}

inline std::string statusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }
inline std::string bodyOf(const std::string& response) {
    auto at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-server-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Starts a server on a free loopback port and stops it when the test ends.
struct RunningServer {
    std::shared_ptr<HttpServer> server = std::make_shared<HttpServer>();
    std::uint16_t port = 0;
    void start() {
        server->start(0, true);
        port = server->localPort();
    }
    ~RunningServer() { server->stop(); }
};

}  // namespace qv::server::test
