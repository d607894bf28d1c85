#pragma once
// The connection engine: owns the listening socket and the state word, accepts on one thread and
// serves every connection on a bounded pool of workers (read a request, find its handler, run
// it, write the response, keep the connection or close it).
//
// Only requests addressed to this machine's own loopback names are served: the Host must be
// localhost or 127.0.0.1 (with or without this server's port) and an Origin, when present, must
// be "null" or this server's own origin; anything else gets 403.
//
// Threads: start() and stop() may be called from any thread but a route handler's (stop waits for
// the workers, so a handler that stops its own server would wait for itself); route handlers run
// on the workers.
// A connection's socket is closed only by the worker serving it; stop() shuts connections down.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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

// Bounds that keep idle or slow clients from taking every worker.
struct HttpServerLimits {
    std::size_t workerCount = 32;
    std::size_t maxOpenConnections = 256;  // being served plus waiting for a worker
    std::chrono::milliseconds readTimeout{10000};
    std::chrono::milliseconds writeTimeout{10000};
    std::chrono::milliseconds requestDeadline{20000};  // the whole head and body of one request
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

    HttpServerIOState state() const;
    void setState(HttpServerIOState state);
    bool isRunning() const { return state() == HttpServerIOState::running; }

    // Returns once listening; throws the SocketError of the listening socket (state stays
    // starting). Does nothing when already running.
    void start(std::uint16_t port = 8080, bool ipv4Only = false);
    // Ends every connection, closes the listening socket and waits for the engine's threads.
    void stop();

    int port() const;
    bool isIPv4() const;
    // The listening socket's port (throws getSockNameFailed when not listening).
    std::uint16_t localPort() const;

    // Before start.
    void setLimits(const HttpServerLimits& limits) { limits_ = limits; }

    // Chooses the handler of a request; this engine answers notFound to everything.
    virtual std::pair<RouteParams, HttpHandler> dispatch(const HttpRequest& request);
    // Serves one connection until it ends; the caller closes the socket.
    void serveConnection(Socket& socket);
    // Writes the head and lets the body write itself; answers whether the connection stays open.
    bool writeResponse(Socket& socket, const HttpResponse& response, bool keepAlive);

    // Whether the Host and Origin headers name this server on loopback.
    bool isLocalRequest(const HttpRequest& request) const;

private:
    void acceptLoop();
    void workerLoop();
    void joinThreads();
    void endConnections();

    std::atomic<std::int32_t> stateValue_{static_cast<std::int32_t>(HttpServerIOState::stopped)};
    std::atomic<int> listeningPort_{0};
    HttpServerLimits limits_;
    std::mutex lifecycleMutex_;  // start and stop, one at a time

    Socket socket_;  // the listening socket
    std::thread acceptThread_;
    std::vector<std::thread> workers_;

    std::mutex connectionsMutex_;
    std::condition_variable connectionsChanged_;
    std::deque<std::unique_ptr<Socket>> waiting_;  // accepted, not yet taken by a worker
    std::set<Socket*> sockets_;                    // being served
};

}  // namespace qv::server
