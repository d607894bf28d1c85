// The hand-over after a 101: a session's thread is reserved before the answer goes out, takes the
// socket (blocking again) once the answer is written, runs the session and closes the socket.
#include "server/HttpServerIOInternal.h"
#include "util/Print.h"

namespace qv::server {

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

}  // namespace qv::server
