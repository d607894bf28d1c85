#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "ServerTestSupport.h"
#include "server/HttpServer.h"

namespace qv::server {
namespace {

using namespace std::string_literals;
using test::Client;
using test::keptAliveRequest;
using test::roundTrip;
using test::RunningServer;
using test::textHandler;

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        running.server->GET["/ok"] = [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text("abc")); };
        running.server->GET["/raw"] = [](const HttpRequest&) {
            return HttpResponse::raw(200, "OK", HeaderFields{{"X-Kind", "raw"}},
                                     [](HttpResponseBodyWriter& w) { w.write(std::string_view("hello")); });
        };
        running.server->GET["/echo"] = [](const HttpRequest& r) {
            std::string text = r.path + "|" + std::string(r.body.begin(), r.body.end()) + "|" + r.address.value_or("?");
            return HttpResponse::ok(HttpResponseBody::text(text));
        };
        running.server->POST["/echo"] = [](const HttpRequest& r) {
            return HttpResponse::ok(HttpResponseBody::text(std::string(r.body.begin(), r.body.end())));
        };
        running.server->GET["/throws"] = [](const HttpRequest&) -> HttpResponse { throw std::runtime_error("bad"); };
        running.server->trustedOrigins = {"quorvane://app"};
        running.start();
        host = "Host: 127.0.0.1:" + std::to_string(running.port) + "\r\n";
        server = "Server: QVHttp " + HttpServer::version() + "\r\n";
    }
    std::string request(const std::string& target, const std::string& extra = {}) {
        return "GET " + target + " HTTP/1.1\r\n" + host + extra + "\r\n";
    }
    RunningServer running;
    std::string host, server;
};

TEST_F(EngineTest, RequestBytesToExactResponses) {
    const std::string okResponse = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n" + server + "\r\nabc";
    const std::string okKeptAlive =
        "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: keep-alive\r\n" + server + "\r\nabc";
    struct Case {
        const char* name;
        std::string request;
        std::string response;
    } cases[] = {
        {"one request, closed", request("/ok"), okResponse},
        {"keep-alive served twice on one connection", request("/ok", "Connection: keep-alive\r\n") + request("/ok"),
         okKeptAlive + okResponse},
        {"Keep-Alive in other case closes", request("/ok", "Connection: Keep-Alive\r\n") + request("/ok"), okResponse},
        {"raw response: no length, no keep-alive, closed after body",
         request("/raw", "Connection: keep-alive\r\n") + request("/ok"),
         "HTTP/1.1 200 OK\r\nConnection: close\r\n" + server + "X-Kind: raw\r\n\r\nhello"},
        {"not found has no body", request("/missing"), "HTTP/1.1 404 Not Found\r\nConnection: close\r\n" + server + "\r\n"},
        {"query is cut before routing", request("/ok?x=1"), okResponse},
        {"body of declared length", "POST /echo HTTP/1.1\r\n" + host + "Content-Length: 4\r\n\r\nbody",
         "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n" + server + "\r\nbody"},
        {"peer address is filled", request("/echo"), "HTTP/1.1 200 OK\r\nContent-Length: 16\r\nConnection: close\r\n" + server + "\r\n/echo||127.0.0.1"},
        {"malformed request line", "GARBAGE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n" + server + "\r\n"},
        {"negative length", "POST /echo HTTP/1.1\r\n" + host + "Content-Length: -4\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n" + server + "\r\n"},
        {"leading and doubled slashes make no segment", request("//ok"), okResponse},
        {"HEAD: the head of GET, no body", "HEAD /ok HTTP/1.1\r\n" + host + "\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n" + server + "\r\n"},
        {"HEAD of a raw response", "HEAD /raw HTTP/1.1\r\n" + host + "\r\n",
         "HTTP/1.1 200 OK\r\nConnection: close\r\n" + server + "X-Kind: raw\r\n\r\n"},
        {"HEAD kept alive, then GET", "HEAD /ok HTTP/1.1\r\n" + host + "Connection: keep-alive\r\n\r\n" + request("/ok"),
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: keep-alive\r\n" + server + "\r\n" + okResponse},
        {"HEAD of nothing", "HEAD /missing HTTP/1.1\r\n" + host + "\r\n",
         "HTTP/1.1 404 Not Found\r\nConnection: close\r\n" + server + "\r\n"},
        {"a failing handler answers 500", request("/throws"), "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n" + server + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(roundTrip(running.port, c.request), c.response);
    }
}

TEST_F(EngineTest, ForeignHostOrOriginIsForbidden) {
    const std::string port = std::to_string(running.port);
    const std::string forbidden = "HTTP/1.1 403 Forbidden\r\nConnection: close\r\n" + server + "\r\n";
    struct Case {
        std::string headers;
        bool allowed;
    } cases[] = {
        {"Host: localhost\r\n", true},
        {"Host: 127.0.0.1\r\n", true},
        {"Host: LOCALHOST:" + port + "\r\n", true},
        {"Host: 127.0.0.1:" + port + "\r\nOrigin: quorvane://app\r\n", true},
        {"Host: 127.0.0.1:" + port + "\r\nOrigin: QUORVANE://APP\r\n", true},
        // A sandboxed frame of any page sends "null": it must not read what the program's pages can.
        {"Host: 127.0.0.1:" + port + "\r\nOrigin: null\r\n", false},
        {"Host: 127.0.0.1:" + port + "\r\nOrigin: quorvane://other\r\n", false},
        {"Host: 127.0.0.1:" + port + "\r\nOrigin: quorvane://app.evil\r\n", false},
        {"Host: localhost:" + port + "\r\nOrigin: http://localhost:" + port + "\r\n", true},
        {"Host: localhost:" + port + "\r\nOrigin: http://127.0.0.1:" + port + "\r\n", true},
        {"", false},
        {"Host: evil.example\r\n", false},
        {"Host: localhost.evil.example\r\n", false},
        {"Host: 127.0.0.1:1\r\n", false},
        {"Host: 0.0.0.0:" + port + "\r\n", false},
        {"Host: localhost\r\nOrigin: http://evil.example\r\n", false},
        {"Host: localhost\r\nOrigin: http://localhost:1\r\n", false},
        {"Host: localhost\r\nOrigin: https://localhost:" + port + "\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        std::string response = roundTrip(running.port, "GET /ok HTTP/1.1\r\n" + c.headers + "\r\n");
        if (c.allowed)
            EXPECT_EQ(test::statusLine(response), "HTTP/1.1 200 OK");
        else
            EXPECT_EQ(response, forbidden);
    }
}

TEST_F(EngineTest, UnsoundInputIsAnsweredWithItsStatusAndClosed) {
    const std::string big(9000, 'a');
    std::string manyHeaders;
    for (int i = 0; i < 101; ++i) manyHeaders += "H" + std::to_string(i) + ": v\r\n";
    struct Case {
        std::string request;
        std::string status;
    } cases[] = {
        {"GET /" + big + " HTTP/1.1\r\n\r\n", "414 URI Too Long"},
        {request("/ok", "X-Big: " + big + "\r\n"), "431 Request Header Fields Too Large"},
        {request("/ok", manyHeaders), "431 Request Header Fields Too Large"},
        {"POST /echo HTTP/1.1\r\n" + host + "Content-Length: 1048577\r\n\r\n" + std::string(70000, 'x'), "413 Content Too Large"},
        {"POST /echo HTTP/1.1\r\n" + host + "Content-Length: 18446744073709551616\r\n\r\n", "400 Bad Request"},
        {"POST /echo HTTP/1.1\r\n" + host + "Content-Length: 4x\r\n\r\nbody", "400 Bad Request"},
        {"GET /ok\0x HTTP/1.1\r\n"s + host + "\r\n", "400 Bad Request"},
        {"GET /o\tk HTTP/1.1\r\n" + host + "\r\n", "400 Bad Request"},
        {"GET /o\rk HTTP/1.1\r\n" + host + "\r\n", "400 Bad Request"},
        {request("/ok", "X-A: \x01\r\n"), "400 Bad Request"},
        // Only bodies of a declared length are read: any other is refused, never taken as empty.
        {"POST /echo HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n3\r\na=1\r\n0\r\n\r\n", "501 Not Implemented"},
        {"POST /echo HTTP/1.1\r\n" + host + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n3\r\na=1\r\n0\r\n\r\n",
         "501 Not Implemented"},
        {request("/ok", "transfer-encoding: identity\r\n"), "501 Not Implemented"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 60));
        Client client(running.port);
        client.send(c.request);
        bool closed = false;
        EXPECT_EQ(client.readAll(&closed), "HTTP/1.1 " + c.status + "\r\nConnection: close\r\n" + server + "\r\n");
        EXPECT_TRUE(closed);
    }
    // A body of exactly the limit is still read, and a tab inside a header value is fine.
    std::string limit(1024 * 1024, 'b');
    std::string response = roundTrip(running.port, "POST /echo HTTP/1.1\r\n" + host + "X-Tab: a\tb\r\nContent-Length: 1048576\r\n\r\n" + limit);
    EXPECT_EQ(test::statusLine(response), "HTTP/1.1 200 OK");
    EXPECT_EQ(test::bodyOf(response).size(), limit.size());
    EXPECT_EQ(test::statusLine(roundTrip(running.port, request("/ok"))), "HTTP/1.1 200 OK");
}

TEST_F(EngineTest, ManyConnectionsAtOnceAreAllServed) {
    std::vector<std::thread> clients;
    std::atomic<int> served{0};
    for (int i = 0; i < 64; ++i)
        clients.emplace_back([&] {
            if (test::statusLine(roundTrip(running.port, request("/ok"))) == "HTTP/1.1 200 OK") ++served;
        });
    for (auto& t : clients) t.join();
    EXPECT_EQ(served.load(), 64);
}

TEST(EngineLifecycleTest, StartTwiceBusyPortStopAndRebind) {
    RunningServer first;
    first.server->GET["/who"] = [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text("first")); };
    first.start();
    EXPECT_TRUE(first.server->isRunning());
    first.server->start(0, true);  // already running: nothing changes
    EXPECT_EQ(first.server->localPort(), first.port);
    EXPECT_TRUE(first.server->isIPv4());

    HttpServer second;
    try {
        second.start(first.port, true);
        FAIL() << "a busy port must not bind";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.errorCase(), SocketError::Case::bindFailed);
        EXPECT_EQ(error.text(), "Address already in use");
    }
    EXPECT_EQ(second.state(), HttpServerIOState::starting);
    EXPECT_EQ(test::bodyOf(test::get(first.port, "/who")), "first");

    first.server->stop();
    EXPECT_EQ(first.server->state(), HttpServerIOState::stopped);
    EXPECT_THROW(Client{first.port}, std::runtime_error) << "the listening socket is closed";

    second.GET["/who"] = [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text("second")); };
    second.start(first.port, true);  // a failed start may be tried again
    EXPECT_EQ(test::bodyOf(test::get(first.port, "/who")), "second");
    second.stop();
    second.start(first.port, true);  // and a stopped server starts again
    EXPECT_EQ(test::bodyOf(test::get(first.port, "/who")), "second");
}

TEST(EngineLifecycleTest, ListensOnLoopbackOnly) {
    RunningServer running;
    running.start();
    FILE* tcp = std::fopen("/proc/net/tcp", "r");
    ASSERT_NE(tcp, nullptr);
    char line[512];
    bool loopbackListener = false, otherListener = false;
    while (std::fgets(line, sizeof line, tcp)) {
        unsigned localAddress = 0, localPort = 0, state = 0;
        if (std::sscanf(line, " %*d: %8X:%4X %*8X:%*4X %2X", &localAddress, &localPort, &state) != 3) continue;
        if (localPort != running.port || state != 0x0A) continue;  // 0A: listening
        (localAddress == 0x0100007F ? loopbackListener : otherListener) = true;
    }
    std::fclose(tcp);
    EXPECT_TRUE(loopbackListener);
    EXPECT_FALSE(otherListener);
}

// Idle and trickling connections hold no worker: with two workers and a hundred of them open, a
// request is answered at once (the old engine gave each connection a worker for its whole life).
TEST(EngineLimitsTest, IdleAndSlowConnectionsDoNotDelayARequest) {
    RunningServer running;
    HttpServerLimits limits;
    limits.workerCount = 2;
    limits.ioThreadCount = 1;
    limits.headerTimeout = std::chrono::seconds(60);
    running.server->setLimits(limits);
    running.server->GET["/ok"] = textHandler("abc");
    running.start();

    std::vector<std::unique_ptr<Client>> crowd;
    for (int i = 0; i < 100; ++i) {
        crowd.push_back(std::make_unique<Client>(running.port));
        if (i % 2) crowd.back()->send("GET /ok HTTP/1.1\r\nHost: local");  // a head that never ends
    }
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(test::bodyOf(test::get(running.port, "/ok")), "abc");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3));
    for (auto& client : crowd) EXPECT_FALSE(client->closedWithin(std::chrono::milliseconds(0)));
}

TEST(EngineLimitsTest, PastTheCapTheLongestWaitingConnectionIsClosed) {
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    limits.maxOpenConnections = 3;
    running.server->setLimits(limits);
    running.server->GET["/ok"] = textHandler("abc");
    running.start();

    // Three kept-alive connections, each answered once, in this order.
    std::vector<std::unique_ptr<Client>> kept;
    for (int i = 0; i < 3; ++i) {
        kept.push_back(std::make_unique<Client>(running.port));
        kept.back()->send(keptAliveRequest(running.port, "/ok"));
        std::string head = kept.back()->readExactly(std::string("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: keep-alive\r\nServer: QVHttp \r\n\r\nabc").size() + HttpServer::version().size());
        ASSERT_EQ(test::bodyOf(head), "abc");
    }
    // The first is used again: now the second has waited longest.
    kept[0]->send(keptAliveRequest(running.port, "/ok"));
    EXPECT_EQ(test::bodyOf(kept[0]->readExactly(82 + HttpServer::version().size())), "abc");

    EXPECT_EQ(test::bodyOf(test::get(running.port, "/ok")), "abc") << "the new connection is served";
    EXPECT_TRUE(kept[1]->closedWithin(std::chrono::seconds(5)));
    for (int i : {0, 2}) {
        kept[static_cast<std::size_t>(i)]->send(keptAliveRequest(running.port, "/ok"));
        EXPECT_EQ(test::bodyOf(kept[static_cast<std::size_t>(i)]->readExactly(82 + HttpServer::version().size())), "abc") << i;
    }
}

// Unfinished requests hold memory of the server's together within their budget: past it the
// connection that holds some and has waited longest is closed, and no more than that one; an idle
// connection, however long it has waited, holds nothing and stays.
TEST(EngineLimitsTest, PastTheBudgetForUnfinishedRequestsTheLongestWaitingHolderIsClosed) {
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    limits.pendingRequestBytes = 40000;  // three of the heads below, not four
    running.server->setLimits(limits);
    running.server->GET["/ok"] = textHandler("abc");
    running.start();
    const std::size_t answerLength = 82 + HttpServer::version().size();
    Client idle(running.port);
    idle.send(keptAliveRequest(running.port, "/ok"));
    ASSERT_EQ(test::bodyOf(idle.readExactly(answerLength)), "abc");

    // Heads of 12,000 bytes each that never end.
    std::string unfinished = "GET /ok HTTP/1.1\r\nHost: localhost\r\nX-A: " + std::string(7900, 'a') + "\r\nX-B: ";
    unfinished += std::string(12000 - 2 - unfinished.size(), 'b') + "\r\n";
    ASSERT_EQ(unfinished.size(), 12000u);
    std::vector<std::unique_ptr<Client>> holders;
    for (int i = 0; i < 4; ++i) {
        holders.push_back(std::make_unique<Client>(running.port));
        holders.back()->send(unfinished);
    }
    std::optional<std::size_t> closed;
    for (int round = 0; round < 125 && !closed; ++round) {  // at most five seconds
        for (std::size_t i = 0; i < holders.size() && !closed; ++i)
            if (holders[i]->closedWithin(std::chrono::milliseconds(10))) closed = i;
    }
    ASSERT_TRUE(closed) << "the fourth head went past the budget";
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i == *closed) continue;
        EXPECT_FALSE(holders[i]->closedWithin(std::chrono::milliseconds(100))) << i;
    }
    idle.send(keptAliveRequest(running.port, "/ok"));
    EXPECT_EQ(test::bodyOf(idle.readExactly(answerLength)), "abc") << "the idle connection stays";
    // The others end their heads and are answered; what they held is free again, so a fourth
    // head fits once more.
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i == *closed) continue;
        holders[i]->send("\r\n");
        EXPECT_EQ(test::statusLine(holders[i]->readAll()), "HTTP/1.1 200 OK") << i;
    }
    for (int i = 0; i < 4; ++i) EXPECT_EQ(test::statusLine(roundTrip(running.port, unfinished + "\r\n")), "HTTP/1.1 200 OK") << i;
}

// The cap counts the connections of every IO thread together: below it, however the threads
// share them, no connection is closed to make room.
TEST(EngineLimitsTest, TheCapCountsAllIOThreadsTogether) {
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 4;
    limits.maxOpenConnections = 24;
    running.server->setLimits(limits);
    running.server->GET["/ok"] = textHandler("abc");
    running.start();
    const std::size_t answerLength = 82 + HttpServer::version().size();
    std::vector<std::unique_ptr<Client>> kept = test::keptAliveConnections(running.port, 24, "/ok", answerLength, "abc");
    for (std::size_t i = 0; i < kept.size(); ++i)
        EXPECT_TRUE(test::answersAgain(*kept[i], running.port, "/ok", answerLength, "abc")) << i;
}

// Deadlines cover a whole phase: a byte now and then does not keep a request head open, and a
// reader that takes a large answer slowly is cut off once it falls below the minimum rate.
TEST(EngineLimitsTest, DeadlinesCoverTheWholeHeadAndTheWholeResponse) {
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    limits.headerTimeout = std::chrono::milliseconds(500);
    limits.transferTimeout = std::chrono::milliseconds(300);
    limits.minimumRate = 16 * 1024 * 1024;
    running.server->setLimits(limits);
    const std::size_t size = 32 * 1024 * 1024;
    running.server->GET["/big"] = [size](const HttpRequest&) {
        return HttpResponse::ok(HttpResponseBody::data(std::vector<std::uint8_t>(size, 'z')));
    };
    running.start();

    Client trickle(running.port);
    trickle.send("GET /big HTTP/1.1\r\n");
    auto begin = std::chrono::steady_clock::now();
    bool closed = false;
    for (int i = 0; i < 100 && !closed; ++i) {  // at most ten seconds
        trickle.send("X");
        closed = trickle.closedWithin(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));

    Client slow(running.port, 4096);
    slow.send("GET /big HTTP/1.1\r\nHost: localhost\r\n\r\n");
    std::size_t received = 0;
    bool ended = false;
    for (int i = 0; i < 400 && !ended; ++i) {  // 4 KiB every 25 ms, for at most ten seconds
        std::string chunk = slow.readExactly(4096);
        received += chunk.size();
        ended = chunk.size() < 4096;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_TRUE(ended) << "the slow reader was cut off";
    EXPECT_LT(received, size);
}

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Out of descriptors, accepting closes the connection that has waited longest and serves the new
// one, and only that one: the kernel reports the lack of a descriptor even when no client is left
// in the queue. The process is left exactly one free descriptor, which the new client takes.
TEST(EngineLimitsTest, OutOfDescriptorsTheLongestWaitingConnectionMakesRoom) {
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    running.server->setLimits(limits);
    running.server->GET["/ok"] = textHandler("abc");
    running.start();
    const std::size_t answerLength = 82 + HttpServer::version().size();
    std::vector<std::unique_ptr<Client>> kept = test::keptAliveConnections(running.port, 3, "/ok", answerLength, "abc");

    const auto isOpen = [](int fd) { return ::fcntl(fd, F_GETFD) != -1; };
    int firstFree = 0;
    while (isOpen(firstFree)) ++firstFree;
    int secondFree = firstFree + 1;
    while (isOpen(secondFree)) ++secondFree;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = rlim_t(secondFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    struct Restore {
        rlimit limit;
        ~Restore() { ::setrlimit(RLIMIT_NOFILE, &limit); }
    } restore{saved};

    Client fresh(running.port);
    ASSERT_EQ(fresh.descriptor(), firstFree);
    fresh.send(keptAliveRequest(running.port, "/ok"));
    EXPECT_EQ(test::bodyOf(fresh.readExactly(answerLength)), "abc") << "the new connection is served";
    // One kept connection made room (which one depends on when each was last seen), the others
    // are served as before.
    std::size_t closed = kept.size();
    for (int round = 0; round < 500 && closed == kept.size(); ++round) {  // at most five seconds
        for (std::size_t i = 0; i < kept.size(); ++i)
            if (kept[i]->closedWithin(std::chrono::milliseconds(10))) closed = i;
    }
    ASSERT_LT(closed, kept.size()) << "no waiting connection made room";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i == closed) continue;
        kept[i]->send(keptAliveRequest(running.port, "/ok"));
        EXPECT_EQ(test::bodyOf(kept[i]->readExactly(answerLength)), "abc") << i;
    }
}

TEST(EngineLimitsTest, AnAbandonedDownloadEndsQuietly) {
    RunningServer running;
    running.server->GET["/big"] = [](const HttpRequest&) {
        return HttpResponse::ok(HttpResponseBody::data(std::vector<std::uint8_t>(16 * 1024 * 1024, 'z')));
    };
    running.start();
    testing::internal::CaptureStdout();
    const std::size_t before = openDescriptors();
    {
        Client leaving(running.port, 4096);
        leaving.send("GET /big HTTP/1.1\r\nHost: localhost\r\n\r\n");
        EXPECT_EQ(leaving.readExactly(12), "HTTP/1.1 200");
    }
    bool released = false;
    for (int i = 0; i < 500 && !released; ++i) {  // at most five seconds
        released = openDescriptors() <= before;
        if (!released) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(released) << "the server closed its side";
    EXPECT_EQ(printed, "");
}

class EchoUpgrade : public HttpServerIODelegate {
public:
    void connectionUpgraded(Socket&) override { ++upgrades; }
    std::atomic<int> upgrades{0};
};

// A 101 answer hands the socket to a session of its own; bytes that came with the request reach
// it, and stop ends a session that waits for its peer.
TEST(EngineLimitsTest, SwitchingProtocolsHandsTheSocketToASession) {
    RunningServer running;
    auto delegate = std::make_shared<EchoUpgrade>();
    running.server->delegate = delegate;
    std::atomic<bool> sessionEnded{false};
    running.server->GET["/echo"] = [&sessionEnded](const HttpRequest&) {
        return HttpResponse::switchProtocols({{"Upgrade", "echo"}}, [&sessionEnded](Socket& socket) {
            try {
                for (;;) socket.writeUTF8(socket.readLine() + "\n");
            } catch (const SocketError&) {
            }
            sessionEnded = true;
        });
    };
    running.start();
    Client client(running.port);
    client.send("GET /echo HTTP/1.1\r\nHost: localhost\r\n\r\nfirst\n");
    const std::string head = "HTTP/1.1 101 Switching Protocols\r\nServer: QVHttp " + HttpServer::version() + "\r\nUpgrade: echo\r\n\r\n";
    EXPECT_EQ(client.readExactly(head.size() + 6), head + "first\n");
    client.send("again\n");
    EXPECT_EQ(client.readExactly(6), "again\n");
    EXPECT_EQ(delegate->upgrades.load(), 1);
    running.server->stop();
    EXPECT_TRUE(sessionEnded.load());
    EXPECT_TRUE(client.closedWithin(std::chrono::seconds(5)));
}

TEST(EngineLimitsTest, StopEndsOpenConnections) {
    RunningServer running;
    running.start();
    Client waiting(running.port);
    waiting.send("GET / HTTP/1.1\r\n");  // the worker now blocks reading the rest
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    running.server->stop();
    bool closed = false;
    EXPECT_EQ(waiting.readAll(&closed), "");
    EXPECT_TRUE(closed);
}

// A route that can answer on the IO thread does so only where nothing else must see the request
// first; whatever it cannot answer, its full handler answers on a worker, with the same request.
TEST(EngineQuickRouteTest, AnswersAtOnceOrFallsBackToTheFullHandler) {
    RunningServer running;
    std::atomic<int> quickCalls{0}, fullCalls{0};
    QuickHandler handler;
    handler.answerNow = [&](const HttpRequest& r) -> std::optional<HttpResponse> {
        ++quickCalls;
        const std::string& what = r.params.begin()->second;
        if (what == "throws") throw std::runtime_error("no");
        if (what != "now") return std::nullopt;
        return HttpResponse::ok(HttpResponseBody::text("now|" + r.address.value_or("?")));
    };
    handler.full = [&](const HttpRequest& r) {
        ++fullCalls;
        return HttpResponse::ok(HttpResponseBody::text("full|" + r.params.begin()->second + "|" + r.address.value_or("?")));
    };
    running.server->GET["/q/:what"] = handler;
    running.server->trustedOrigins = {"quorvane://app"};
    running.start();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(running.port) + "\r\n";
    auto get = [&](const std::string& what, const std::string& extra = {}) {
        return "GET /q/" + what + " HTTP/1.1\r\n" + host + extra + "\r\n";
    };
    struct Case {
        const char* name;
        std::string request;
        std::string body;  // of each answer, in order
        int quick, full;   // calls made
    } cases[] = {
        {"answered at once", get("now"), "now|127.0.0.1", 1, 0},
        {"left to a worker", get("later"), "full|later|127.0.0.1", 1, 1},
        {"a throwing attempt is left to a worker", get("throws"), "full|throws|127.0.0.1", 1, 1},
        {"a foreign origin is refused before any attempt", get("now", "Origin: null\r\n"), "", 0, 0},
        {"trusted origin", get("now", "Origin: quorvane://app\r\n"), "now|127.0.0.1", 1, 0},
        {"a request that came with the last one goes to a worker",
         get("now", "Connection: keep-alive\r\n") + get("now"), "now|127.0.0.1full|now|127.0.0.1", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        quickCalls = fullCalls = 0;
        std::string answer = roundTrip(running.port, c.request);
        std::string bodies;
        for (std::size_t at = 0; (at = answer.find("\r\n\r\n", at)) != std::string::npos;) {
            at += 4;
            std::size_t next = answer.find("HTTP/1.1 ", at);
            bodies += answer.substr(at, next == std::string::npos ? std::string::npos : next - at);
        }
        EXPECT_EQ(bodies, c.body) << answer;
        EXPECT_EQ(quickCalls, c.quick);
        EXPECT_EQ(fullCalls, c.full);
    }
    const std::string head = roundTrip(running.port, "HEAD /q/now HTTP/1.1\r\n" + host + "\r\n");
    EXPECT_EQ(test::statusLine(head), "HTTP/1.1 200 OK");
    EXPECT_NE(head.find("Content-Length: 13\r\n"), std::string::npos);
    EXPECT_EQ(test::bodyOf(head), "");
}

TEST(EngineQuickRouteTest, MiddlewareSeesEveryRequestFirst) {
    RunningServer running;
    std::atomic<int> quickCalls{0};
    QuickHandler handler;
    handler.answerNow = [&](const HttpRequest&) -> std::optional<HttpResponse> {
        ++quickCalls;
        return HttpResponse::ok(HttpResponseBody::text("quick"));
    };
    handler.full = [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text("full")); };
    running.server->GET["/q"] = handler;
    running.server->middleware.push_back([](const HttpRequest&) -> std::optional<HttpResponse> {
        return HttpResponse::ok(HttpResponseBody::text("middleware"));
    });
    running.start();
    EXPECT_EQ(test::bodyOf(test::get(running.port, "/q")), "middleware");
    EXPECT_EQ(quickCalls, 0);
}

}  // namespace
}  // namespace qv::server
