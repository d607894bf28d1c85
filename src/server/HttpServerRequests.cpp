// A request on its connection, on the IO thread: bytes read until a head and its body are
// complete (or a parser error is answered), the answer collected into segments, written as fast as
// the peer takes it, and then the connection kept for the next request, lingered on or closed.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include "server/FileStream.h"
#include "server/HttpServerIOInternal.h"
#include "server/MemorySource.h"
#include "util/Print.h"
#include "util/Strings.h"

namespace qv::server {

namespace {

// Takes a response body as segments to send: bytes are kept, a file is kept open (a duplicate of
// its descriptor, so that the handler may close its own) and sent from its start to its length.
class CollectingWriter final : public HttpResponseBodyWriter {
public:
    explicit CollectingWriter(std::deque<Segment>& into) : into_(into) {}
    using HttpResponseBodyWriter::write;
    void write(File& file) override {
        std::int64_t length = file.size();
        if (length < 0) throw SocketError(SocketError::Case::writeFailed, "sendfile: Bad file descriptor");
        int copy = ::fcntl(file.descriptor(), F_DUPFD_CLOEXEC, 0);
        if (copy < 0) throw SocketError(SocketError::Case::writeFailed, std::string("sendfile: ") + std::strerror(errno));
        if (length > 0) into_.emplace_back(copy, static_cast<off_t>(length));
        else ::close(copy);
    }
    void write(std::span<const std::uint8_t> bytes) override {
        if (bytes.empty()) return;
        if (into_.empty() || into_.back().isFile()) into_.emplace_back(std::string());
        into_.back().bytes().append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

private:
    std::deque<Segment>& into_;
};

// The status line and header block of a response; staysOpen tells whether the connection may
// carry another request after it.
std::string responseHead(const HttpResponse& response, std::int64_t length, bool keepAlive, bool& staysOpen) {
    std::string head = "HTTP/1.1 " + std::to_string(response.statusCode()) + " " + response.reasonPhrase() + "\r\n";
    if (length >= 0) head += "Content-Length: " + std::to_string(length) + "\r\n";
    staysOpen = keepAlive && length != -1;
    if (staysOpen) {
        head += "Connection: keep-alive\r\n";
    } else if (response.kind() != HttpResponse::Kind::switchProtocols) {
        // Tell the client the connection ends here, so it neither waits for nor reuses it.
        head += "Connection: close\r\n";
    }
    for (const auto& [name, value] : response.headerFields()) head += name + ": " + value + "\r\n";
    head += "\r\n";
    return head;
}

}  // namespace

void HttpServerIO::readFrom(Loop& loop, Connection& connection) {
    char buffer[16 * 1024];
    ssize_t n;
    do {
        n = ::recv(connection.socket.socketFileDescriptor(), buffer, sizeof buffer, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
        closeConnection(loop, connection);
        return;
    }
    if (n > 0) {
        connection.input.append(buffer, static_cast<std::size_t>(n));
        loop.markWaiting(connection);
    }
    advance(loop, connection);
    if (pendingBytes_.load(std::memory_order_relaxed) > limits_.pendingRequestBytes) shedPendingBytes(loop);
}

void HttpServerIO::drain(Loop& loop, Connection& connection) {
    char buffer[16 * 1024];
    for (int i = 0; i < 64; ++i) {
        ssize_t n = ::recv(connection.socket.socketFileDescriptor(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        closeConnection(loop, connection);
        return;
    }
    loop.watch(connection, EPOLLIN);
}

void HttpServerIO::advance(Loop& loop, Connection& connection, bool mayAnswerHere) {
    if (connection.phase == Connection::Phase::head) {
        switch (connection.scanner.scan(connection.input.data(), connection.input.size())) {
            case HttpHeadScanner::Result::needMore:
                holdInput(loop, connection);
                loop.watch(connection, EPOLLIN);
                return;
            case HttpHeadScanner::Result::requestLineTooLong:
                answerParserError(loop, connection, 414, reasonPhraseFor(HttpParserError::Case::requestLineTooLong));
                return;
            case HttpHeadScanner::Result::headerTooLong:
                answerParserError(loop, connection, 431, reasonPhraseFor(HttpParserError::Case::lineTooLong));
                return;
            case HttpHeadScanner::Result::complete: break;
        }
        connection.headLength = connection.scanner.headLength();
        try {
            MemorySource source(std::string(connection.input.data(), connection.headLength));
            BufferedReader reader(source);
            HttpParser parser(limits_.maxBodyLength);
            connection.request = parser.readHead(reader, connection.bodyLength);
        } catch (const HttpParserError& error) {
            answerParserError(loop, connection, statusCodeFor(error.errorCase()), reasonPhraseFor(error.errorCase()));
            return;
        } catch (const std::exception&) {
            answerParserError(loop, connection, 400, "Bad Request");
            return;
        }
        // From here on the input holds the body: the head's bytes are in the request.
        connection.input.erase(0, connection.headLength);
        if (connection.bodyLength > connection.input.size()) connection.input.reserve(connection.bodyLength);
        connection.phase = Connection::Phase::body;
        connection.transferEnd = transferDeadline(connection.bodyLength);
        loop.setDeadline(connection, std::min(*connection.transferEnd, Clock::now() + limits_.transferTimeout));
    }
    if (connection.input.size() < connection.bodyLength) {
        holdInput(loop, connection);
        loop.watch(connection, EPOLLIN);
        return;
    }
    auto bodyStart = connection.input.begin();
    connection.request.body.assign(bodyStart, bodyStart + static_cast<std::ptrdiff_t>(connection.bodyLength));
    connection.input.erase(0, connection.bodyLength);
    // A large buffer goes back once its request is taken; a small one is kept for the next request.
    if (connection.input.capacity() > 4096 && connection.input.size() < connection.input.capacity() / 4)
        connection.input.shrink_to_fit();
    connection.scanner.reset();
    connection.phase = Connection::Phase::handling;
    holdInput(loop, connection);
    loop.setDeadline(connection, std::nullopt);
    loop.unmarkWaiting(connection);
    if (mayAnswerHere && answerAtOnce(loop, connection)) return;
    {
        std::lock_guard lock(jobsMutex_);
        jobs_.push_back(&connection);
    }
    jobsChanged_.notify_one();
}

void HttpServerIO::answerParserError(Loop& loop, Connection& connection, int status, const char* phrase) {
    bool staysOpen = false;
    connection.output.emplace_back(responseHead(HttpResponse::raw(status, phrase), -1, false, staysOpen));
    connection.staysOpen = false;
    connection.linger = true;
    InputBytes().swap(connection.input);
    connection.phase = Connection::Phase::writing;
    holdInput(loop, connection);
    loop.unmarkWaiting(connection);
    startWriting(loop, connection);
}

void HttpServerIO::startWriting(Loop& loop, Connection& connection) {
    connection.phase = Connection::Phase::writing;
    if (!connection.output.empty()) {
        std::size_t length = 0;
        for (const Segment& segment : connection.output) length += segment.remaining();
        connection.transferEnd = transferDeadline(length);
        connection.sent = 0;
        connection.sentOnAtLastLook.reset();
        loop.markWaiting(connection);
        loop.setDeadline(connection, std::min(*connection.transferEnd, connection.waitingSince + limits_.transferTimeout));
    }
    writeMore(loop, connection);
}

void HttpServerIO::writeMore(Loop& loop, Connection& connection) {
    int descriptor = connection.socket.socketFileDescriptor();
    bool progressed = false;
    while (!connection.output.empty()) {
        Segment& segment = connection.output.front();
        const std::size_t before = segment.remaining();
        const Segment::Step step = segment.send(descriptor, connection.output.size() > 1);
        connection.sent += static_cast<std::int64_t>(before - segment.remaining());
        progressed = progressed || segment.remaining() != before;
        switch (step) {
            case Segment::Step::done: connection.output.pop_front(); continue;
            case Segment::Step::blocked:
                // Progress is what the peer took, not what the kernel's buffer took in (it grows
                // also for a peer that takes nothing): counted from the first time it is full.
                if ((!connection.sentOnAtLastLook || progressed) && connection.peerTookMore()) loop.markWaiting(connection);
                loop.watch(connection, EPOLLOUT);
                return;
            case Segment::Step::failed: closeConnection(loop, connection); return;  // the peer left: nothing to say
        }
    }
    responseWritten(loop, connection);
}

void HttpServerIO::responseWritten(Loop& loop, Connection& connection) {
    if (connection.corked && (connection.staysOpen || connection.session || connection.linger)) {
        int off = 0;  // sends what the cork still holds (closing sends it too)
        ::setsockopt(connection.socket.socketFileDescriptor(), IPPROTO_TCP, TCP_CORK, &off, sizeof off);
    }
    connection.corked = false;
    if (connection.session) {
        handOver(loop, connection);
        return;
    }
    if (connection.linger && isRunning()) {
        // Closing with unread bytes would reset the connection and could destroy the answer on
        // its way: end our side, then read until the client closes or a short time passes.
        ::shutdown(connection.socket.socketFileDescriptor(), SHUT_WR);
        connection.phase = Connection::Phase::lingering;
        loop.setDeadline(connection, Clock::now() + std::chrono::seconds(2));
        drain(loop, connection);
        return;
    }
    if (!connection.staysOpen || !isRunning()) {
        closeConnection(loop, connection);
        return;
    }
    connection.phase = Connection::Phase::head;
    connection.request = HttpRequest();
    connection.headLength = connection.bodyLength = 0;
    holdInput(loop, connection);
    loop.setDeadline(connection, Clock::now() + limits_.headerTimeout);
    loop.markWaiting(connection, std::min(connection.answeredAt, Clock::now()));
    connection.answeredAt = Clock::time_point::max();
    // A request that came along with the last one is served now, by a worker: answering it here
    // could nest answers without end.
    advance(loop, connection, false);
}

void HttpServerIO::collectResponse(Connection& connection, const HttpRequest& request, HttpResponse& response) {
    if (response.kind() == HttpResponse::Kind::switchProtocols) {
        // The session's thread is there before the head that promises it goes out.
        connection.session = reserveSession(response.session());
        if (!connection.session) response = HttpResponse::raw(503, "Service Unavailable");
    }
    const std::string* keep = request.header("connection");
    const bool keepAlive = keep && util::trimmed(*keep) == "keep-alive";
    auto [length, writer] = response.bodyContent();
    connection.output.emplace_back(responseHead(response, length, keepAlive, connection.staysOpen));
    // A HEAD request gets the head that GET would have had, without the body.
    if (writer && request.method != "HEAD") {
        CollectingWriter collect(connection.output);
        try {
            writer(collect);
        } catch (const std::exception& error) {
            util::printLine("Failed to send response:", error.what());
            connection.staysOpen = false;  // the body is cut short: only closing tells the client
        }
    }
    // A file goes out in full segments: the head and the file's first bytes share the first one,
    // and no short segment is pushed between the file's chunks.
    if (std::any_of(connection.output.begin(), connection.output.end(), [](const Segment& s) { return s.isFile(); })) {
        int on = 1;
        ::setsockopt(connection.socket.socketFileDescriptor(), IPPROTO_TCP, TCP_CORK, &on, sizeof on);
        connection.corked = true;
    }
}

}  // namespace qv::server
