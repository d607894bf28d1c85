#include "server/HttpServerIO.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <fcntl.h>
#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <set>
#include <system_error>
#include <unordered_map>

#include "server/FileStream.h"
#include "server/HttpParser.h"
#include "server/MemorySource.h"
#include "util/Print.h"

namespace qv::server {

namespace {

using Clock = std::chrono::steady_clock;

// A write to a peer that went away must fail with EPIPE, not end the process: the engine's
// threads keep SIGPIPE blocked (sendfile has no flag to suppress it).
void blockSigPipeInThisThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void joinOrDetach(std::thread& thread) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    auto blank = [](unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); };
    std::size_t b = 0, e = text.size();
    while (b < e && blank(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && blank(static_cast<unsigned char>(text[e - 1]))) --e;
    return text.substr(b, e - b);
}

// Memory for received request bytes. A large buffer is mapped from the system and unmapped when
// freed, so that a burst of large request heads leaves no heap behind that the allocator would
// keep for later (it raises its own threshold for mapping after the first large free).
template <typename T>
struct ReturnedMemory {
    using value_type = T;
    static constexpr std::size_t mappedFrom = 64 * 1024;
    ReturnedMemory() = default;
    template <typename U>
    ReturnedMemory(const ReturnedMemory<U>&) noexcept {}
    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        void* memory = bytes < mappedFrom ? std::malloc(bytes)
                                          : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (!memory || memory == MAP_FAILED) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < mappedFrom)
            std::free(memory);
        else
            ::munmap(memory, bytes);
    }
    friend bool operator==(const ReturnedMemory&, const ReturnedMemory&) { return true; }
};

using InputBytes = std::basic_string<char, std::char_traits<char>, ReturnedMemory<char>>;

// A piece of a response still to send: bytes, or a stretch of an open file.
class Segment {
public:
    explicit Segment(std::string bytes) : bytes_(std::move(bytes)) {}
    Segment(int file, off_t end) : file_(file), end_(end) {}
    Segment(Segment&& other) noexcept
        : bytes_(std::move(other.bytes_)), sent_(other.sent_), file_(std::exchange(other.file_, -1)),
          offset_(other.offset_), end_(other.end_) {}
    Segment& operator=(Segment&&) = delete;
    ~Segment() {
        if (file_ >= 0) ::close(file_);
    }
    bool isFile() const { return file_ >= 0; }
    std::string& bytes() { return bytes_; }
    std::size_t remaining() const { return isFile() ? static_cast<std::size_t>(end_ - offset_) : bytes_.size() - sent_; }

    enum class Step { done, blocked, failed };
    Step send(int socket, bool moreFollows) {
        while (remaining() > 0) {
            ssize_t n;
            if (isFile()) {
                std::size_t chunk = std::min<std::size_t>(remaining(), 1 << 30);
                n = ::sendfile(socket, file_, &offset_, chunk);
                // The file became shorter than announced: the connection must end rather than stall.
                if (n == 0) return Step::failed;
            } else {
                n = ::send(socket, bytes_.data() + sent_, remaining(), MSG_NOSIGNAL | MSG_DONTWAIT | (moreFollows ? MSG_MORE : 0));
                if (n > 0) sent_ += static_cast<std::size_t>(n);
            }
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno == EAGAIN || errno == EWOULDBLOCK ? Step::blocked : Step::failed;
            }
        }
        return Step::done;
    }

private:
    std::string bytes_;
    std::size_t sent_ = 0;
    int file_ = -1;
    off_t offset_ = 0;
    off_t end_ = 0;
};

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

// The numeric host of an accepted peer, as the request's address.
std::optional<std::string> peerText(const sockaddr_storage& peer, socklen_t length) {
    char host[NI_MAXHOST] = {};
    if (length == 0 || ::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), length, host, sizeof host, nullptr, 0,
                                     NI_NUMERICHOST) != 0)
        return std::nullopt;
    return std::string(host);
}

}  // namespace

struct HttpServerIO::Connection {
    enum class Phase { head, body, handling, writing, lingering };

    explicit Connection(int descriptor) : socket(descriptor) {}

    Socket socket;
    sockaddr_storage peer{};  // as accepted
    socklen_t peerLength = 0;
    Phase phase = Phase::head;
    bool closed = false;

    InputBytes input;  // received and not yet taken by a request (in the body phase: the body so far)
    std::size_t heldBytes = 0;  // counted in pendingBytes_ for an unfinished request
    HttpHeadScanner scanner;
    std::size_t headLength = 0;
    std::size_t bodyLength = 0;
    HttpRequest request;

    std::deque<Segment> output;
    bool staysOpen = false;
    bool failed = false;
    bool corked = false;  // the kernel holds partial segments until the response is complete
    bool linger = false;  // after an error answer: read what the client still sends before closing
    Session* session = nullptr;  // the thread reserved for the session that follows a 101 answer

    std::optional<Clock::time_point> deadline;
    bool waiting = false;  // in the loop's list of connections that wait for request bytes
    std::list<Connection*>::iterator waitingPosition;
    Clock::time_point waitingSince;  // when it last had something to do (the order of waitingList)
    Clock::time_point answeredAt = Clock::time_point::max();  // when a worker sent the whole answer
    Loop* loop = nullptr;
};

struct HttpServerIO::Loop {
    Loop() {
        epoll = ::epoll_create1(EPOLL_CLOEXEC);
        wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (epoll < 0 || wake < 0) throw SocketError(SocketError::Case::socketCreationFailed, std::strerror(errno), errno);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.ptr = &wakeTag;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, wake, &event);
    }
    ~Loop() {
        connections.clear();
        if (epoll >= 0) ::close(epoll);
        if (wake >= 0) ::close(wake);
    }
    void notify() {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
    }
    void watch(Connection& c, std::uint32_t events, int operation = EPOLL_CTL_MOD) {
        epoll_event event{};
        event.events = events | EPOLLONESHOT;
        event.data.ptr = &c;
        ::epoll_ctl(epoll, operation, c.socket.socketFileDescriptor(), &event);
    }
    void setDeadline(Connection& c, std::optional<Clock::time_point> when) {
        if (c.deadline) timers.erase({*c.deadline, &c});
        c.deadline = when;
        if (when) timers.insert({*when, &c});
    }
    // Moves a connection into the list of those waiting for request bytes, ordered by when each
    // started to wait: `since` is now, or earlier for an answer a worker sent before this thread
    // learnt of it (the thread may have seen newer connections meanwhile).
    void markWaiting(Connection& c, Clock::time_point since = Clock::now()) {
        if (c.waiting) waitingList.erase(c.waitingPosition);
        auto place = waitingList.end();
        while (place != waitingList.begin() && (*std::prev(place))->waitingSince > since) --place;
        c.waitingSince = since;
        c.waitingPosition = waitingList.insert(place, &c);
        c.waiting = true;
        waitingCount.store(waitingList.size(), std::memory_order_relaxed);
    }
    void unmarkWaiting(Connection& c) {
        if (c.waiting) waitingList.erase(c.waitingPosition);
        c.waiting = false;
        waitingCount.store(waitingList.size(), std::memory_order_relaxed);
    }

    int epoll = -1;
    int wake = -1;
    char wakeTag = 0;
    char listenTag = 0;
    std::optional<Clock::time_point> acceptPausedUntil;
    std::atomic<std::size_t> waitingCount{0};  // the length of waitingList, for the other loops
    std::size_t heldBytes = 0;                 // this thread's part of pendingBytes_
    std::atomic<bool> evictOne{false};  // asked to close its longest waiting connection
    std::thread thread;

    std::unordered_map<Connection*, std::unique_ptr<Connection>> connections;
    std::vector<std::unique_ptr<Connection>> closedThisRound;  // freed once no event can name them
    std::set<std::pair<Clock::time_point, Connection*>> timers;
    std::list<Connection*> waitingList;  // longest waiting first

    std::mutex inboxMutex;
    std::vector<Connection*> served;  // back from the workers
    std::condition_variable returned;  // a worker gave one back while awaitingReturn was set
    bool awaitingReturn = false;
};

// A session's thread exists from before its 101 head goes out; it waits for the socket (or to be
// cancelled when the connection ends first). The flags are guarded by sessionsMutex_.
struct HttpServerIO::Session {
    SessionHandler handler;
    std::unique_ptr<Socket> socket;  // from the hand-over on
    std::thread thread;
    std::condition_variable changed;
    bool handedOver = false;
    bool cancelled = false;
    bool done = false;
};

HttpServerIO::HttpServerIO() = default;

HttpServerIO::~HttpServerIO() { stop(); }

HttpServerIOState HttpServerIO::state() const { return static_cast<HttpServerIOState>(stateValue_.load()); }

void HttpServerIO::setState(HttpServerIOState state) {
    std::int32_t current = stateValue_.load();
    stateValue_.compare_exchange_strong(current, static_cast<std::int32_t>(state));
}

void HttpServerIO::start(std::uint16_t port, bool ipv4Only) {
    std::lock_guard lifecycle(lifecycleMutex_);
    if (isRunning()) return;
    setState(HttpServerIOState::starting);
    Socket listening = Socket::makeListening(port, ipv4Only, 128, ipv4Only ? listenAddressIPv4 : listenAddressIPv6);
    joinThreads();  // threads of an earlier run that stopped on its own
    loops_.clear();
    openConnections_ = 0;
    pendingBytes_ = 0;
    listening.setBlocking(false);
    // A connection is handed over once its first bytes have come (or after a few seconds without):
    // a client that connects and says nothing holds no descriptor of ours meanwhile.
    int deferSeconds = 5;
    ::setsockopt(listening.socketFileDescriptor(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    socket_ = std::move(listening);
    listeningPort_ = socket_.localPort();

    std::size_t loopCount = limits_.ioThreadCount;
    if (loopCount == 0) loopCount = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    for (std::size_t i = 0; i < loopCount; ++i) {
        auto loop = std::make_unique<Loop>();
        loops_.push_back(std::move(loop));
    }
    // Every IO thread accepts for itself; the kernel wakes one of them per new connection.
    for (auto& loop : loops_) watchListening(*loop, true);

    setState(HttpServerIOState::running);
    answeringCount_ = std::max<std::size_t>(1, limits_.workerCount);
    answering_ = std::make_unique<AnsweringSlot[]>(answeringCount_);
    for (std::size_t i = 0; i < answeringCount_; ++i) workers_.emplace_back([this, i] { workerLoop(i); });
    for (auto& loop : loops_) loop->thread = std::thread([this, l = loop.get()] { runLoop(*l); });
}

void HttpServerIO::stop() {
    std::lock_guard lifecycle(lifecycleMutex_);
    if (isRunning()) {
        setState(HttpServerIOState::stopping);
    } else if (loops_.empty() && workers_.empty()) {
        endSessions();
        return;  // nothing of a run is left
    }
    wakeEverything();
    joinThreads();
    loops_.clear();  // closes every connection; no worker uses them any more
    {
        std::lock_guard lock(jobsMutex_);
        jobs_.clear();
    }
    endSessions();
    socket_.close();
    stateValue_.store(static_cast<std::int32_t>(HttpServerIOState::stopped));
}

void HttpServerIO::wakeEverything() {
    {
        std::lock_guard lock(jobsMutex_);
    }
    jobsChanged_.notify_all();
    for (auto& loop : loops_) loop->notify();
}

void HttpServerIO::joinThreads() {
    for (std::thread& worker : workers_) joinOrDetach(worker);
    workers_.clear();
    for (auto& loop : loops_) joinOrDetach(loop->thread);
}

void HttpServerIO::endSessions() {
    std::list<std::shared_ptr<Session>> ending;
    {
        std::lock_guard lock(sessionsMutex_);
        for (auto& session : sessions_) {
            if (session->done) continue;
            if (session->handedOver) {
                session->socket->shutdownConnection();
            } else {
                session->cancelled = true;
                session->changed.notify_one();
            }
        }
        ending.swap(sessions_);
    }
    for (auto& session : ending) joinOrDetach(session->thread);
}

int HttpServerIO::port() const { return socket_.localPort(); }
bool HttpServerIO::isIPv4() const { return socket_.isIPv4(); }
std::uint16_t HttpServerIO::localPort() const { return socket_.localPort(); }

bool HttpServerIO::isLocalRequest(const HttpRequest& request) const {
    const std::string port = std::to_string(listeningPort_.load());
    const std::string* host = request.header("host");
    if (!host) return false;
    const std::string h = lowerCased(*host);
    if (h != "localhost" && h != "127.0.0.1" && h != "localhost:" + port && h != "127.0.0.1:" + port) return false;
    if (const std::string* origin = request.header("origin")) {
        const std::string o = lowerCased(*origin);
        if (o == "http://localhost:" + port || o == "http://127.0.0.1:" + port) return true;
        return std::any_of(trustedOrigins.begin(), trustedOrigins.end(),
                           [&o](const std::string& trusted) { return lowerCased(trusted) == o; });
    }
    return true;
}

std::pair<RouteParams, HttpHandler> HttpServerIO::dispatch(const HttpRequest&) {
    return {RouteParams{}, [](const HttpRequest&) { return HttpResponse::notFound(); }};
}

std::optional<std::pair<RouteParams, HttpHandler>> HttpServerIO::quickRoute(const HttpRequest&) { return std::nullopt; }

// --- the IO threads ---

void HttpServerIO::runLoop(Loop& loop) {
    blockSigPipeInThisThread();
    epoll_event events[256];
    while (isRunning()) {
        int timeout = -1;
        std::optional<Clock::time_point> next;
        if (!loop.timers.empty()) next = loop.timers.begin()->first;
        if (loop.acceptPausedUntil && (!next || *loop.acceptPausedUntil < *next)) next = loop.acceptPausedUntil;
        if (next) {
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count() + 1;
            timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
        }
        int count = ::epoll_wait(loop.epoll, events, 256, timeout);
        if (count < 0 && errno != EINTR) break;
        for (int i = 0; i < count; ++i) {
            void* tag = events[i].data.ptr;
            if (tag == &loop.wakeTag) {
                std::uint64_t value;
                [[maybe_unused]] ssize_t n = ::read(loop.wake, &value, sizeof value);
                continue;
            }
            if (tag == &loop.listenTag) {
                acceptClients(loop);
                continue;
            }
            auto* connection = static_cast<Connection*>(tag);
            if (connection->closed) continue;
            if (connection->phase == Connection::Phase::writing)
                writeMore(loop, *connection);
            else if (connection->phase == Connection::Phase::lingering)
                drain(loop, *connection);
            else
                readFrom(loop, *connection);
        }
        if (!isRunning()) break;
        if (loop.evictOne.exchange(false)) closeLongestWaiting(loop);  // another thread ran out of room
        takeServed(loop);
        if (loop.acceptPausedUntil && Clock::now() >= *loop.acceptPausedUntil) {
            loop.acceptPausedUntil.reset();
            watchListening(loop, true);
        }
        expireDeadlines(loop);
        loop.closedThisRound.clear();
        returnMemory();
    }
}

// Connections back from the workers: answered, or with the rest of their answer to send.
void HttpServerIO::takeServed(Loop& loop) {
    std::vector<Connection*> served;
    {
        std::lock_guard lock(loop.inboxMutex);
        served.swap(loop.served);
    }
    for (Connection* connection : served) {
        if (connection->failed || connection->socket.isShutdown())
            closeConnection(loop, *connection);
        else
            startWriting(loop, *connection);
    }
}

// Closes the connection of this thread that has waited longest for request bytes, if there is one.
// An answer that a worker is sending may already be complete, and its client may have gone on to
// open the very connection that needs room: such connections are first waited for (a worker gives
// its connection back right after the send), so that each is placed by when its answer went out.
bool HttpServerIO::closeLongestWaiting(Loop& loop) {
    const auto until = Clock::now() + std::chrono::seconds(1);
    for (std::size_t i = 0; i < answeringCount_; ++i) {
        Connection* sending = answering_[i].connection.load();
        if (!sending || !loop.connections.count(sending)) continue;
        std::unique_lock lock(loop.inboxMutex);
        loop.awaitingReturn = true;
        loop.returned.wait_until(lock, until, [&] { return answering_[i].connection.load(std::memory_order_relaxed) != sending; });
        loop.awaitingReturn = false;
    }
    takeServed(loop);
    if (loop.waitingList.empty()) return false;
    closeConnection(loop, *loop.waitingList.front());
    return true;
}

void HttpServerIO::acceptClients(Loop& loop) {
    for (int i = 0; i < 64; ++i) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        int descriptor = ::accept4(socket_.socketFileDescriptor(), reinterpret_cast<sockaddr*>(&peer), &peerLength,
                                   SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor < 0) {
            int error = errno;
            if (error == EINTR || error == ECONNABORTED) continue;
            if (error == EAGAIN || error == EWOULDBLOCK) return;
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
                // The kernel runs out of descriptors before it looks at the queue: with no client
                // waiting there, nothing needs room and no connection is closed.
                pollfd listening{socket_.socketFileDescriptor(), POLLIN, 0};
                if (::poll(&listening, 1, 0) <= 0 || !(listening.revents & POLLIN)) return;
                // Out of descriptors: make room by the longest waiting connection, else wait a little.
                if (closeLongestWaiting(loop)) continue;
                for (auto& other : loops_) {
                    if (other.get() == &loop) continue;
                    other->evictOne = true;
                    other->notify();
                }
                loop.acceptPausedUntil = Clock::now() + std::chrono::milliseconds(10);
                watchListening(loop, false);
                return;
            }
            // The listening socket broke: the server stops; stop() or start() joins the threads.
            setState(HttpServerIOState::stopped);
            wakeEverything();
            return;
        }
        addConnection(loop, descriptor, &peer, peerLength);
    }
}

bool HttpServerIO::evictElsewhere(Loop& loop) {
    // Each eviction asked for lets one connection in before it happens; no more may wait.
    if (openConnections_.load(std::memory_order_relaxed) + liveSessions_.load(std::memory_order_relaxed) >=
        limits_.maxOpenConnections + loops_.size())
        return false;
    for (auto& other : loops_) {
        if (other.get() == &loop || other->waitingCount.load(std::memory_order_relaxed) == 0) continue;
        if (other->evictOne.exchange(true)) continue;  // already asked
        other->notify();
        return true;
    }
    return false;
}

void HttpServerIO::watchListening(Loop& loop, bool watch) {
    if (!watch) {
        ::epoll_ctl(loop.epoll, EPOLL_CTL_DEL, socket_.socketFileDescriptor(), nullptr);
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLEXCLUSIVE;
    event.data.ptr = &loop.listenTag;
    ::epoll_ctl(loop.epoll, EPOLL_CTL_ADD, socket_.socketFileDescriptor(), &event);
}

void HttpServerIO::addConnection(Loop& loop, int descriptor, const void* peer, unsigned peerLength) {
    // The cap counts the connections of all IO threads (one thread may hold most of them) and the
    // sessions.
    if (openConnections_.load(std::memory_order_relaxed) + liveSessions_.load(std::memory_order_relaxed) >=
            limits_.maxOpenConnections &&
        !closeLongestWaiting(loop) && !evictElsewhere(loop)) {
        ::close(descriptor);  // every connection is busy with a request or a response
        return;
    }
    openConnections_.fetch_add(1, std::memory_order_relaxed);
    auto owned = std::make_unique<Connection>(descriptor);
    Connection& connection = *owned;
    connection.loop = &loop;
    connection.peerLength = std::min<socklen_t>(peerLength, sizeof connection.peer);
    std::memcpy(&connection.peer, peer, connection.peerLength);
    loop.connections.emplace(&connection, std::move(owned));
    loop.setDeadline(connection, Clock::now() + limits_.headerTimeout);
    loop.markWaiting(connection);
    loop.watch(connection, EPOLLIN, EPOLL_CTL_ADD);
}

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

// Once unfinished requests held much of their budget and hold little again, the memory that the
// allocator kept of it (free, but between pieces still in use) goes back to the system.
void HttpServerIO::returnMemory() {
    if (!returnMemoryLater_.load(std::memory_order_relaxed) ||
        pendingBytes_.load(std::memory_order_relaxed) > limits_.pendingRequestBytes / 16 ||
        !returnMemoryLater_.exchange(false))
        return;
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

// Counts what a connection holds for its unfinished request: the bytes received for it (a buffer's
// whole capacity) and, once its head is read, the head as parsed.
void HttpServerIO::holdInput(Loop& loop, Connection& connection) {
    std::size_t held = 0;
    if (connection.phase == Connection::Phase::head && !connection.input.empty())
        held = connection.input.capacity();
    else if (connection.phase == Connection::Phase::body)
        held = connection.input.capacity() + connection.headLength;
    if (held == connection.heldBytes) return;
    if (held > connection.heldBytes) {
        const std::size_t before = pendingBytes_.fetch_add(held - connection.heldBytes, std::memory_order_relaxed);
        if (before + held - connection.heldBytes > limits_.pendingRequestBytes / 2)
            returnMemoryLater_.store(true, std::memory_order_relaxed);
    } else
        pendingBytes_.fetch_sub(connection.heldBytes - held, std::memory_order_relaxed);
    loop.heldBytes = loop.heldBytes + held - connection.heldBytes;
    connection.heldBytes = held;
}

// Past the budget for unfinished requests, the connections that hold some and have waited longest
// are closed until it is kept. A thread does so while it holds more than its share, so that the
// whole stays within the budget (give or take a read per thread) whichever thread's clients send.
void HttpServerIO::shedPendingBytes(Loop& loop) {
    const std::size_t share = limits_.pendingRequestBytes / std::max<std::size_t>(1, loops_.size());
    while (pendingBytes_.load(std::memory_order_relaxed) > limits_.pendingRequestBytes && loop.heldBytes > share) {
        auto holder = std::find_if(loop.waitingList.begin(), loop.waitingList.end(),
                                   [](const Connection* c) { return c->heldBytes > 0; });
        if (holder == loop.waitingList.end()) return;
        closeConnection(loop, **holder);
    }
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
        auto bodyTime = std::chrono::milliseconds(connection.bodyLength * 1000 / std::max<std::size_t>(1, limits_.minimumRate));
        loop.setDeadline(connection, Clock::now() + limits_.transferTimeout + bodyTime);
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

bool HttpServerIO::answerAtOnce(Loop& loop, Connection& connection) {
    HttpRequest& request = connection.request;
    if (!isLocalRequest(request)) return false;
    auto route = quickRoute(request);
    if (!route) return false;
    const auto* quick = route->second.target<QuickHandler>();
    if (!quick || !quick->answerNow) return false;
    // Without an answer here the request goes on to a worker, which sets its route and address anew.
    request.params = std::move(route->first);
    request.address = peerText(connection.peer, connection.peerLength);
    try {
        std::optional<HttpResponse> response = quick->answerNow(request);
        if (!response) return false;
        collectResponse(connection, request, *response);
    } catch (const std::exception&) {
        connection.output.clear();
        connection.staysOpen = false;
        return false;
    }
    startWriting(loop, connection);
    return true;
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
    std::size_t length = 0;
    for (const Segment& segment : connection.output) length += segment.remaining();
    auto sendTime = std::chrono::milliseconds(length * 1000 / std::max<std::size_t>(1, limits_.minimumRate));
    loop.setDeadline(connection, Clock::now() + limits_.transferTimeout + sendTime);
    writeMore(loop, connection);
}

void HttpServerIO::writeMore(Loop& loop, Connection& connection) {
    int descriptor = connection.socket.socketFileDescriptor();
    while (!connection.output.empty()) {
        switch (connection.output.front().send(descriptor, connection.output.size() > 1)) {
            case Segment::Step::done: connection.output.pop_front(); continue;
            case Segment::Step::blocked: loop.watch(connection, EPOLLOUT); return;
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

void HttpServerIO::handOver(Loop& loop, Connection& connection) {
    ::epoll_ctl(loop.epoll, EPOLL_CTL_DEL, connection.socket.socketFileDescriptor(), nullptr);
    auto socket = std::make_unique<Socket>(std::move(connection.socket));
    socket->setBlocking(true);
    socket->setTimeouts(std::chrono::milliseconds(60000), limits_.transferTimeout);
    if (!connection.input.empty())
        socket->reader().keep(reinterpret_cast<const std::uint8_t*>(connection.input.data()), connection.input.size());
    Session& session = *std::exchange(connection.session, nullptr);
    closeConnection(loop, connection);  // forgets the connection; its socket now belongs to the session
    std::lock_guard lock(sessionsMutex_);
    session.socket = std::move(socket);
    session.handedOver = true;
    session.changed.notify_one();
}

// The thread of a session that is about to be answered 101; none past the cap of sessions or when
// the system gives no thread.
HttpServerIO::Session* HttpServerIO::reserveSession(SessionHandler handler) {
    // Sessions never take more than half the connection cap: the rest is for ordinary requests.
    const std::size_t cap = std::min(limits_.maxSessions, limits_.maxOpenConnections / 2);
    std::size_t live = liveSessions_.load();
    do {
        if (live >= cap) return nullptr;
    } while (!liveSessions_.compare_exchange_weak(live, live + 1));
    std::lock_guard lock(sessionsMutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if ((*it)->done) {
            joinOrDetach((*it)->thread);
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    auto session = std::make_shared<Session>();
    session->handler = std::move(handler);
    try {
        session->thread = std::thread([this, session] { runSession(*session); });
    } catch (const std::system_error& error) {
        liveSessions_.fetch_sub(1);
        util::printLine("Session refused:", error.what());
        return nullptr;
    }
    sessions_.push_back(session);
    return session.get();
}

void HttpServerIO::runSession(Session& session) {
    blockSigPipeInThisThread();
    {
        std::unique_lock lock(sessionsMutex_);
        session.changed.wait(lock, [&session] { return session.handedOver || session.cancelled; });
    }
    if (session.handedOver) {
        Socket& own = *session.socket;
        if (auto upgraded = delegate.lock()) upgraded->connectionUpgraded(own);
        try {
            session.handler(own);
        } catch (const std::exception& error) {
            util::printLine("Session ended with an error:", error.what());
        }
    }
    std::lock_guard done(sessionsMutex_);
    if (session.socket) session.socket->close();
    session.handler = nullptr;
    session.done = true;
    liveSessions_.fetch_sub(1);
}

// The connection ended before its 101 answer was out: the waiting thread ends unused.
void HttpServerIO::cancelSession(Session& session) {
    std::lock_guard lock(sessionsMutex_);
    session.cancelled = true;
    session.changed.notify_one();
}

void HttpServerIO::closeConnection(Loop& loop, Connection& connection) {
    if (connection.closed) return;
    connection.closed = true;
    if (connection.session) cancelSession(*std::exchange(connection.session, nullptr));
    loop.setDeadline(connection, std::nullopt);
    loop.unmarkWaiting(connection);
    if (connection.heldBytes) {
        pendingBytes_.fetch_sub(connection.heldBytes, std::memory_order_relaxed);
        loop.heldBytes -= connection.heldBytes;
        connection.heldBytes = 0;
    }
    connection.socket.close();  // also leaves the epoll set
    auto found = loop.connections.find(&connection);
    if (found != loop.connections.end()) {
        loop.closedThisRound.push_back(std::move(found->second));
        loop.connections.erase(found);
        openConnections_.fetch_sub(1, std::memory_order_relaxed);
    }
}

void HttpServerIO::expireDeadlines(Loop& loop) {
    const auto now = Clock::now();
    while (!loop.timers.empty() && loop.timers.begin()->first <= now) {
        Connection& late = *loop.timers.begin()->second;
        if (late.phase == Connection::Phase::writing) {
            // Too slow a reader: the answer is abandoned, with what the kernel still holds of it.
            linger off{1, 0};
            ::setsockopt(late.socket.socketFileDescriptor(), SOL_SOCKET, SO_LINGER, &off, sizeof off);
        }
        closeConnection(loop, late);
    }
}

// --- the workers ---

void HttpServerIO::workerLoop(std::size_t index) {
    blockSigPipeInThisThread();
    std::atomic<Connection*>& answering = answering_[index].connection;
    for (;;) {
        Connection* connection;
        {
            std::unique_lock lock(jobsMutex_);
            jobsChanged_.wait(lock, [this] { return !jobs_.empty() || !isRunning(); });
            if (!isRunning()) return;
            connection = jobs_.front();
            jobs_.pop_front();
        }
        serve(*connection, answering);
        Loop& loop = *connection->loop;
        bool awaited;
        {
            std::lock_guard lock(loop.inboxMutex);
            loop.served.push_back(connection);
            answering.store(nullptr, std::memory_order_relaxed);
            awaited = loop.awaitingReturn;
        }
        if (awaited) loop.returned.notify_all();
        loop.notify();
    }
}

void HttpServerIO::serve(Connection& connection, std::atomic<Connection*>& answering) {
    HttpRequest request = std::move(connection.request);
    request.address = peerText(connection.peer, connection.peerLength);
    std::optional<HttpResponse> response;
    if (!isLocalRequest(request)) {
        response = HttpResponse::forbidden();
    } else {
        try {
            auto [params, handler] = dispatch(request);
            request.params = std::move(params);
            response = handler(request);
        } catch (const std::exception& error) {
            util::printLine("Route handler failed:", error.what());
            response = HttpResponse::internalServerError();
        }
    }
    if (!isRunning()) {
        connection.failed = true;
        return;
    }
    collectResponse(connection, request, *response);
    // Most answers fit the socket's buffer at once: sent here, the IO thread only closes or
    // keeps the connection.
    // Read before sending: the client may have its answer, and open its next connection, before
    // this thread runs again.
    const Clock::time_point sendingFrom = Clock::now();
    answering.store(&connection);
    int descriptor = connection.socket.socketFileDescriptor();
    while (!connection.output.empty()) {
        Segment::Step step = connection.output.front().send(descriptor, connection.output.size() > 1);
        if (step == Segment::Step::blocked) return;
        if (step == Segment::Step::failed) {
            connection.failed = true;
            return;
        }
        connection.output.pop_front();
    }
    connection.answeredAt = sendingFrom;
    // All sent and nothing follows: the client learns it now; the IO thread only forgets it.
    if (!connection.staysOpen && !connection.session) connection.socket.close();
}

void HttpServerIO::collectResponse(Connection& connection, const HttpRequest& request, HttpResponse& response) {
    if (response.kind() == HttpResponse::Kind::switchProtocols) {
        // The session's thread is there before the head that promises it goes out.
        connection.session = reserveSession(response.session());
        if (!connection.session) response = HttpResponse::raw(503, "Service Unavailable");
    }
    const std::string* keep = request.header("connection");
    const bool keepAlive = keep && trimmed(*keep) == "keep-alive";
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
