// The bounded pool of workers that run route handlers: each takes a complete request, finds its
// handler, and sends what of the answer the socket takes at once before handing the connection
// back to its IO thread. Only requests addressed to this server on loopback are served.
#include "server/HttpServerIOInternal.h"
#include "util/Print.h"
#include "util/Strings.h"

namespace qv::server {

bool HttpServerIO::isLocalRequest(const HttpRequest& request) const {
    const std::string port = std::to_string(listeningPort_.load());
    const std::string* host = request.header("host");
    if (!host) return false;
    const std::string h = util::lowerCased(*host);
    if (h != "localhost" && h != "127.0.0.1" && h != "localhost:" + port && h != "127.0.0.1:" + port) return false;
    if (const std::string* origin = request.header("origin")) {
        const std::string o = util::lowerCased(*origin);
        if (o == "http://localhost:" + port || o == "http://127.0.0.1:" + port) return true;
        return std::any_of(trustedOrigins.begin(), trustedOrigins.end(),
                           [&o](const std::string& trusted) { return util::lowerCased(trusted) == o; });
    }
    return true;
}

std::pair<RouteParams, HttpHandler> HttpServerIO::dispatch(const HttpRequest&) {
    return {RouteParams{}, [](const HttpRequest&) { return HttpResponse::notFound(); }};
}

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

}  // namespace qv::server
