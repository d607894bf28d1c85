#pragma once
// The connection engine: owns the listening socket and the state word. A few IO threads wait on
// epoll for all connections at once: they accept, read requests without blocking until a head and
// its body are complete, and write responses (files by sendfile) as fast as the peer takes them.
// Only a complete request goes to the bounded pool of workers, which finds its handler and runs
// it; a route with a QuickHandler is first tried on the IO thread itself, which answers there
// only what needs no disk (a file whose names and bytes the kernel holds in its caches). An idle
// or slow peer therefore holds a descriptor, never a worker. Every phase of a
// connection has one deadline for the whole of it: the request head (or the wait for the next
// request), and a body or a response at a minimum transfer rate; a body or a response also ends
// once its peer makes no progress (sends nothing, takes nothing) for transferTimeout. Past the
// connection cap the connection whose peer has made no progress for longest, on any IO thread, is
// closed to make room: one waiting for request bytes or one whose answer its reader does not
// take. Past the budget of memory that unfinished requests may hold together (one budget for the
// whole server), the one of them that has waited longest, on any IO thread, is closed.
//
// Only requests addressed to this machine's own loopback names are served: the Host must be
// localhost or 127.0.0.1 (with or without this server's port) and an Origin, when present, must
// be this server's own origin or one of trustedOrigins; anything else ("null" among it) gets 403.
//
// A response that switches protocols hands its socket, blocking again, to a thread of its own,
// which runs the session and closes the socket when the session returns. The thread is made
// before the 101 head goes out: without one (past the cap of sessions, or when the system gives
// no thread) the request is answered 503 and that connection closed. Sessions count toward the
// connection cap; their own cap is lower, so that ordinary requests are always answered.
//
// Threads: start() and stop() may be called from any thread but a route handler's (stop waits for
// the workers, so a handler that stops its own server would wait for itself); route handlers run
// on the workers.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "server/HttpRequest.h"
#include "server/HttpResponse.h"
#include "server/HttpRouter.h"
#include "server/Socket.h"

namespace qv::server {

enum class HttpServerIOState : std::int32_t { starting = 0, running = 1, stopping = 2, stopped = 3 };

// Told when a connection switches protocols.
class HttpServerIODelegate {
public:
    virtual ~HttpServerIODelegate() = default;
    virtual void connectionUpgraded(Socket& socket) = 0;
};

// Bounds that keep idle or slow clients from taking the server.
struct HttpServerLimits {
    std::size_t workerCount = 32;    // threads that run route handlers
    std::size_t ioThreadCount = 0;   // threads that wait on connections; 0: one per core, 1..8
    // Connections and sessions together: well below the usual 1,024 descriptors of a process, so
    // that clients never take those the rest of the program needs for its files and devices.
    std::size_t maxOpenConnections = 256;
    std::size_t maxSessions = 64;    // sessions after a 101 (each holds a thread); at most half the cap above
    std::size_t maxBodyLength = 1024 * 1024;             // a request body; a longer one is answered 413
    std::size_t pendingRequestBytes = 64 * 1024 * 1024;  // held for unfinished requests, all connections together
    std::chrono::milliseconds headerTimeout{60000};      // a whole request head, or the wait for the next one
    // A body or a response: this much time plus its length at minimumRate bytes a second, and no
    // more than this much time without progress.
    std::chrono::milliseconds transferTimeout{10000};
    std::size_t minimumRate = 64 * 1024;
};

class HttpServerIO {
public:
    HttpServerIO();
    virtual ~HttpServerIO();
    HttpServerIO(const HttpServerIO&) = delete;
    HttpServerIO& operator=(const HttpServerIO&) = delete;

    std::weak_ptr<HttpServerIODelegate> delegate;
    // Address to bind; loopback unless changed before start.
    std::optional<std::string> listenAddressIPv4 = std::string("127.0.0.1");
    std::optional<std::string> listenAddressIPv6 = std::string("::1");
    // Origins besides the server's own whose pages may call it ("scheme://host"); set before start.
    std::vector<std::string> trustedOrigins;

    HttpServerIOState state() const;
    void setState(HttpServerIOState state);
    bool isRunning() const { return state() == HttpServerIOState::running; }

    // Returns once listening; throws the SocketError of the listening socket (state stays
    // starting). Does nothing when already running.
    void start(std::uint16_t port = 8080, bool ipv4Only = false);
    // Ends every connection and session, closes the listening socket and waits for the threads.
    void stop();

    int port() const;
    bool isIPv4() const;
    // The listening socket's port (throws getSockNameFailed when not listening).
    std::uint16_t localPort() const;

    // Before start.
    void setLimits(const HttpServerLimits& limits) { limits_ = limits; }

    // Chooses the handler of a request; this engine answers notFound to everything.
    virtual std::pair<RouteParams, HttpHandler> dispatch(const HttpRequest& request);
    // The route of a request that the IO thread may try to answer itself: one whose handler is a
    // QuickHandler and that nothing else (middleware) must see first; nothing in this engine.
    virtual std::optional<std::pair<RouteParams, HttpHandler>> quickRoute(const HttpRequest& request);

    // Whether the Host and Origin headers name this server on loopback.
    bool isLocalRequest(const HttpRequest& request) const;

private:
    struct Connection;
    struct Loop;
    struct Session;

    void runLoop(Loop& loop);
    void takeServed(Loop& loop);
    void acceptClients(Loop& loop);
    void watchListening(Loop& loop, bool watch);
    void settleAnswers(Loop& loop);
    Connection* longestStalled(Loop& loop);
    bool closeLongestWaiting(Loop& loop);
    bool makeRoom(Loop& loop);
    void holdInput(Loop& loop, Connection& connection);
    void setHeld(Loop& loop, Connection& connection, std::size_t held);
    void shedPendingBytes(Loop& loop);
    void closeEvicted(Loop& loop);
    void returnMemory();
    void addConnection(Loop& loop, int descriptor, const void* peer, unsigned peerLength);
    void readFrom(Loop& loop, Connection& connection);
    void advance(Loop& loop, Connection& connection, bool mayAnswerHere = true);
    bool answerAtOnce(Loop& loop, Connection& connection);
    void collectResponse(Connection& connection, const HttpRequest& request, HttpResponse& response);
    void drain(Loop& loop, Connection& connection);
    void answerParserError(Loop& loop, Connection& connection, int status, const char* phrase);
    void startWriting(Loop& loop, Connection& connection);
    void writeMore(Loop& loop, Connection& connection);
    void responseWritten(Loop& loop, Connection& connection);
    void handOver(Loop& loop, Connection& connection);
    void closeConnection(Loop& loop, Connection& connection);
    void expireDeadlines(Loop& loop);
    bool keepsPace(Loop& loop, Connection& connection, std::chrono::steady_clock::time_point now);
    int waitTimeout(const Loop& loop) const;
    std::chrono::steady_clock::time_point transferDeadline(std::size_t length) const;
    void workerLoop(std::size_t index);
    void serve(Connection& connection, std::atomic<Connection*>& answering);
    Session* reserveSession(SessionHandler handler);
    void runSession(Session& session);
    void cancelSession(Session& session);
    void wakeEverything();
    void joinThreads();
    void forgetConnections();
    void endSessions();

    std::atomic<std::int32_t> stateValue_{static_cast<std::int32_t>(HttpServerIOState::stopped)};
    std::atomic<int> listeningPort_{0};
    std::atomic<std::size_t> openConnections_{0};  // of all IO threads
    std::atomic<std::size_t> liveSessions_{0};     // reserved or running, of every run
    std::atomic<std::size_t> pendingBytes_{0};     // held for unfinished requests, of all IO threads
    // The connections that hold bytes of an unfinished request, of all IO threads, longest waiting
    // first, and the bytes of those that their threads were asked to close.
    std::mutex holdersMutex_;
    std::list<Connection*> holders_;
    std::size_t sheddingBytes_ = 0;
    std::atomic<bool> returnMemoryLater_{false};   // pendingBytes_ was high; give memory back once it is low
    HttpServerLimits limits_;
    std::mutex lifecycleMutex_;  // start and stop, one at a time

    Socket socket_;  // the listening socket
    std::vector<std::unique_ptr<Loop>> loops_;
    std::vector<std::thread> workers_;
    // Per worker, the connection whose answer it is sending, from just before the first byte until
    // the connection is back in its IO thread's inbox: such an answer may be complete before the
    // IO thread learns of it.
    struct alignas(64) AnsweringSlot {
        std::atomic<Connection*> connection{nullptr};
    };
    std::unique_ptr<AnsweringSlot[]> answering_;
    std::size_t answeringCount_ = 0;

    std::mutex jobsMutex_;
    std::condition_variable jobsChanged_;
    std::deque<Connection*> jobs_;  // complete requests waiting for a worker

    std::mutex sessionsMutex_;
    std::list<std::shared_ptr<Session>> sessions_;
};

}  // namespace qv::server
