#include "server/HttpServerIO.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cctype>

#include "server/FileStream.h"
#include "server/HttpParser.h"
#include "util/Print.h"

namespace qv::server {

namespace {

// Writes bodies straight to the connection.
class InnerWriteContext final : public HttpResponseBodyWriter {
public:
    explicit InnerWriteContext(Socket& socket) : socket_(socket) {}
    using HttpResponseBodyWriter::write;
    void write(File& file) override { socket_.writeFile(file); }
    void write(std::span<const std::uint8_t> bytes) override { socket_.write(bytes); }

private:
    Socket& socket_;
};

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

}  // namespace

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
    socket_ = std::move(listening);
    listeningPort_ = socket_.localPort();
    setState(HttpServerIOState::running);
    for (std::size_t i = 0; i < std::max<std::size_t>(1, limits_.workerCount); ++i)
        workers_.emplace_back([this] { workerLoop(); });
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

void HttpServerIO::stop() {
    std::lock_guard lifecycle(lifecycleMutex_);
    if (isRunning()) {
        endConnections();
    } else if (!acceptThread_.joinable()) {
        return;  // nothing of a run is left
    }
    joinThreads();
    socket_.close();
    setState(HttpServerIOState::stopped);
}

void HttpServerIO::endConnections() {
    setState(HttpServerIOState::stopping);
    {
        std::lock_guard lock(connectionsMutex_);
        for (Socket* client : sockets_) client->shutdownConnection();
        waiting_.clear();  // never taken by a worker: nobody else uses these descriptors
        socket_.shutdownConnection();  // wakes the accept thread
    }
    connectionsChanged_.notify_all();
}

void HttpServerIO::joinThreads() {
    joinOrDetach(acceptThread_);
    for (std::thread& worker : workers_) joinOrDetach(worker);
    workers_.clear();
}

int HttpServerIO::port() const { return socket_.localPort(); }
bool HttpServerIO::isIPv4() const { return socket_.isIPv4(); }
std::uint16_t HttpServerIO::localPort() const { return socket_.localPort(); }

void HttpServerIO::acceptLoop() {
    blockSigPipeInThisThread();
    for (;;) {
        std::unique_ptr<Socket> client;
        try {
            client = std::make_unique<Socket>(socket_.acceptClient());
        } catch (const SocketError& error) {
            if (!isRunning()) return;
            // Out of descriptors or memory: wait for connections to end rather than give up.
            int e = error.errorNumber();
            if (e == EMFILE || e == ENFILE || e == ENOBUFS || e == ENOMEM) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            // The listening socket broke: the server stops; stop() or start() joins the threads.
            endConnections();
            setState(HttpServerIOState::stopped);
            return;
        }
        client->setTimeouts(limits_.readTimeout, limits_.writeTimeout);
        std::unique_lock lock(connectionsMutex_);
        if (!isRunning()) return;
        if (waiting_.size() + sockets_.size() >= limits_.maxOpenConnections) continue;  // closed at once
        waiting_.push_back(std::move(client));
        lock.unlock();
        connectionsChanged_.notify_one();
    }
}

void HttpServerIO::workerLoop() {
    blockSigPipeInThisThread();
    for (;;) {
        std::unique_ptr<Socket> client;
        {
            std::unique_lock lock(connectionsMutex_);
            connectionsChanged_.wait(lock, [this] { return !waiting_.empty() || !isRunning(); });
            if (!isRunning()) return;
            client = std::move(waiting_.front());
            waiting_.pop_front();
            sockets_.insert(client.get());
        }
        serveConnection(*client);
        {
            std::lock_guard lock(connectionsMutex_);
            sockets_.erase(client.get());
        }
        client->close();
    }
}

bool HttpServerIO::isLocalRequest(const HttpRequest& request) const {
    const std::string port = std::to_string(listeningPort_.load());
    const std::string* host = request.header("host");
    if (!host) return false;
    const std::string h = lowerCased(*host);
    if (h != "localhost" && h != "127.0.0.1" && h != "localhost:" + port && h != "127.0.0.1:" + port) return false;
    if (const std::string* origin = request.header("origin")) {
        const std::string o = lowerCased(*origin);
        if (o != "null" && o != "http://localhost:" + port && o != "http://127.0.0.1:" + port) return false;
    }
    return true;
}

std::pair<RouteParams, HttpHandler> HttpServerIO::dispatch(const HttpRequest&) {
    return {RouteParams{}, [](const HttpRequest&) { return HttpResponse::notFound(); }};
}

void HttpServerIO::serveConnection(Socket& socket) {
    HttpParser parser;
    while (isRunning()) {
        HttpRequest request;
        try {
            socket.setReadDeadline(std::chrono::steady_clock::now() + limits_.requestDeadline);
            request = parser.readRequest(socket);
            socket.setReadDeadline(std::nullopt);
        } catch (const std::exception&) {
            break;
        }
        try {
            request.address = socket.peerName();
        } catch (const SocketError&) {
            request.address = std::nullopt;
        }
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
        const std::string* connection = request.header("connection");
        bool keepAlive = connection && trimmed(*connection) == "keep-alive";
        if (isRunning()) {
            try {
                keepAlive = writeResponse(socket, *response, keepAlive);
            } catch (const std::exception& error) {
                util::printLine("Failed to send response:", error.what());
            }
        }
        if (response->kind() == HttpResponse::Kind::switchProtocols) {
            if (auto upgraded = delegate.lock()) upgraded->connectionUpgraded(socket);
            if (response->session()) response->session()(socket);
            break;
        }
        if (!keepAlive) break;
    }
}

bool HttpServerIO::writeResponse(Socket& socket, const HttpResponse& response, bool keepAlive) {
    if (!isRunning()) return false;
    std::string head = "HTTP/1.1 " + std::to_string(response.statusCode()) + " " + response.reasonPhrase() + "\r\n";
    auto [length, writer] = response.bodyContent();
    if (length >= 0) head += "Content-Length: " + std::to_string(length) + "\r\n";
    const bool staysOpen = keepAlive && length != -1;
    if (staysOpen) {
        head += "Connection: keep-alive\r\n";
    } else if (response.kind() != HttpResponse::Kind::switchProtocols) {
        // Tell the client the connection ends here, so it neither waits for nor reuses it.
        head += "Connection: close\r\n";
    }
    for (const auto& [name, value] : response.headerFields()) head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket.writeBuffer(head.data(), head.size(), static_cast<bool>(writer));
    if (writer) {
        InnerWriteContext context(socket);
        writer(context);
    }
    return staysOpen;
}

}  // namespace qv::server
