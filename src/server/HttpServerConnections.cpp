// The table of connections of each IO thread: taking one in under the cap of all threads, closing
// one, the order in which they wait on their peers (the one that has made no progress for longest
// makes room first, here or on another thread), and the one budget of memory that unfinished
// requests of all threads hold together.
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
        !makeRoom(loop)) {
        ::close(descriptor);  // every connection is busy with a handler
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
    if (connection.heldBytes) setHeld(loop, connection, 0);
    if (connection.phase == Connection::Phase::writing && !connection.output.empty()) {
        // An answer cut short is abandoned with what the kernel still holds of it, rather than
        // left to a reader that does not take it.
        linger off{1, 0};
        ::setsockopt(connection.socket.socketFileDescriptor(), SOL_SOCKET, SO_LINGER, &off, sizeof off);
    }
    connection.socket.close();  // also leaves the epoll set
    auto found = loop.connections.find(&connection);
    if (found != loop.connections.end()) {
        loop.closedThisRound.push_back(std::move(found->second));
        loop.connections.erase(found);
        openConnections_.fetch_sub(1, std::memory_order_relaxed);
    }
}

// An answer that a worker is sending may already be complete, and its client may have gone on to
// open the very connection that needs room: such connections of this thread are first waited for
// (a worker gives its connection back right after the send), so that each is placed by when its
// answer went out.
void HttpServerIO::settleAnswers(Loop& loop) {
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
}

// The connection of this thread whose peer has made no progress for longest, if there is one. A
// reader's progress is learnt late (the kernel tells of room in its buffer only once much of it is
// free): whether a reader at the front took some meanwhile is looked at first, and one that did
// goes to the back.
HttpServerIO::Connection* HttpServerIO::longestStalled(Loop& loop) {
    while (!loop.waitingList.empty()) {
        Connection& front = *loop.waitingList.front();
        if (front.phase != Connection::Phase::writing || !front.sentOnAtLastLook || !front.peerTookMore()) return &front;
        loop.markWaiting(front);
    }
    return nullptr;
}

// Closes the connection of this thread whose peer has made no progress for longest, if there is one.
bool HttpServerIO::closeLongestWaiting(Loop& loop) {
    settleAnswers(loop);
    Connection* stalled = longestStalled(loop);
    if (!stalled) return false;
    closeConnection(loop, *stalled);
    return true;
}

// At the cap: closes the connection whose peer has made no progress for longest, here, or asks
// the IO thread that holds it to close it. Each eviction asked for lets one connection in before
// it happens; no more may wait.
bool HttpServerIO::makeRoom(Loop& loop) {
    settleAnswers(loop);
    Connection* stalled = longestStalled(loop);
    Loop* oldest = stalled ? &loop : nullptr;
    Clock::rep since = stalled ? stalled->waitingSince.time_since_epoch().count() : Loop::nobodyWaiting;
    if (openConnections_.load(std::memory_order_relaxed) + liveSessions_.load(std::memory_order_relaxed) <
        limits_.maxOpenConnections + loops_.size()) {
        for (auto& other : loops_) {
            const Clock::rep otherSince = other->oldestWaiting.load(std::memory_order_relaxed);
            if (other.get() == &loop || otherSince >= since || other->evictOne.load()) continue;
            oldest = other.get();
            since = otherSince;
        }
    }
    if (oldest && oldest != &loop) {
        if (!oldest->evictOne.exchange(true)) {
            oldest->notify();
            return true;
        }
        if (!stalled) return false;  // asked meanwhile by another thread
    }
    if (!stalled) return false;
    closeConnection(loop, *stalled);
    return true;
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
    // A holder whose peer made progress moves in the holders' order.
    if (held == connection.heldBytes && (held == 0 || connection.heldSince == connection.waitingSince)) return;
    setHeld(loop, connection, held);
}

// Records what a connection holds, in the server's count and in the holders' order (by when its
// peer last made progress).
void HttpServerIO::setHeld(Loop& loop, Connection& connection, std::size_t held) {
    std::lock_guard lock(holdersMutex_);
    if (held > connection.heldBytes) {
        const std::size_t before = pendingBytes_.fetch_add(held - connection.heldBytes, std::memory_order_relaxed);
        if (before + held - connection.heldBytes > limits_.pendingRequestBytes / 2)
            returnMemoryLater_.store(true, std::memory_order_relaxed);
    } else {
        pendingBytes_.fetch_sub(connection.heldBytes - held, std::memory_order_relaxed);
    }
    if (connection.evicting) {
        sheddingBytes_ = sheddingBytes_ + held - connection.heldBytes;
        if (held == 0) {
            // Its request is complete (or it closes): nothing of it is left to shed.
            connection.evicting = false;
            std::erase(loop.evictions, &connection);
        }
    } else {
        if (connection.holding) holders_.erase(connection.holderPosition);
        connection.holding = held > 0;
        if (connection.holding) {
            auto place = holders_.end();
            while (place != holders_.begin() && (*std::prev(place))->waitingSince > connection.waitingSince) --place;
            connection.holderPosition = holders_.insert(place, &connection);
        }
    }
    connection.heldBytes = held;
    connection.heldSince = connection.waitingSince;
}

// Past the budget for unfinished requests, the connections of any IO thread that hold some and
// have waited longest are closed until it is kept: this thread's at once, another thread's by
// that thread, which is asked to.
void HttpServerIO::shedPendingBytes(Loop& loop) {
    std::vector<Connection*> own;
    {
        std::lock_guard lock(holdersMutex_);
        while (pendingBytes_.load(std::memory_order_relaxed) > limits_.pendingRequestBytes + sheddingBytes_ &&
               !holders_.empty()) {
            Connection& victim = *holders_.front();
            holders_.pop_front();
            victim.holding = false;
            victim.evicting = true;
            sheddingBytes_ += victim.heldBytes;
            if (victim.loop == &loop) {
                own.push_back(&victim);
            } else {
                victim.loop->evictions.push_back(&victim);
                victim.loop->evictionsAsked.store(true);
                victim.loop->notify();
            }
        }
    }
    for (Connection* victim : own) closeConnection(loop, *victim);
}

// Closes the connections of this thread that another thread chose for the memory budget.
void HttpServerIO::closeEvicted(Loop& loop) {
    if (!loop.evictionsAsked.exchange(false)) return;
    std::vector<Connection*> victims;
    {
        std::lock_guard lock(holdersMutex_);
        victims.swap(loop.evictions);
    }
    for (Connection* victim : victims) closeConnection(loop, *victim);
}

}  // namespace qv::server
