// The table of connections of each IO thread: taking one in under the cap of all threads, closing
// one, the order in which they wait for request bytes (the longest waiting makes room first, here
// or on another thread), and the budget of memory that unfinished requests hold together.
#include <malloc.h>
#include <netdb.h>

#include "server/HttpServerIOInternal.h"

namespace qv::server {

std::optional<std::string> detail::peerText(const sockaddr_storage& peer, socklen_t length) {
    char host[NI_MAXHOST] = {};
    if (length == 0 || ::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), length, host, sizeof host, nullptr, 0,
                                     NI_NUMERICHOST) != 0)
        return std::nullopt;
    return std::string(host);
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

}  // namespace qv::server
