// A run's start and stop, and the IO threads' event loop: each thread waits on its epoll set for
// its connections, new clients and its wake-up, then closes what another thread asked it to, takes
// back what the workers served, accepts again after a pause, ends what is late and frees what
// closed in the round.
#include "server/HttpServerIO.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>

#include "server/HttpServerIOInternal.h"

namespace qv::server {

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
    forgetConnections();
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
    forgetConnections();  // closes every connection; no worker uses them any more
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

// Once no thread of a run is left: its loops and connections go.
void HttpServerIO::forgetConnections() {
    {
        std::lock_guard lock(holdersMutex_);
        holders_.clear();
        sheddingBytes_ = 0;
    }
    loops_.clear();
}

void HttpServerIO::joinThreads() {
    for (std::thread& worker : workers_) joinOrDetach(worker);
    workers_.clear();
    for (auto& loop : loops_) joinOrDetach(loop->thread);
}

int HttpServerIO::port() const { return socket_.localPort(); }
bool HttpServerIO::isIPv4() const { return socket_.isIPv4(); }
std::uint16_t HttpServerIO::localPort() const { return socket_.localPort(); }

// --- the IO threads ---

void HttpServerIO::runLoop(Loop& loop) {
    blockSigPipeInThisThread();
    epoll_event events[256];
    while (isRunning()) {
        const int timeout = waitTimeout(loop);
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
        closeEvicted(loop);  // another thread went past the memory budget
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

}  // namespace qv::server
