#include <gtest/gtest.h>

#include <thread>

#include "ServerTestSupport.h"
#include "server/HttpServer.h"

namespace qv::server {
namespace {

using test::Client;
using test::roundTrip;
using test::RunningServer;

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
        {"malformed request line: nothing sent", "GARBAGE\r\n\r\n", ""},
        {"negative length: nothing sent", "POST /echo HTTP/1.1\r\n" + host + "Content-Length: -4\r\n\r\n", ""},
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
        {"Host: 127.0.0.1:" + port + "\r\nOrigin: null\r\n", true},
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

TEST_F(EngineTest, OversizeInputsCloseTheConnectionAndNothingElse) {
    const std::string big(9000, 'a');
    std::string manyHeaders;
    for (int i = 0; i < 101; ++i) manyHeaders += "H" + std::to_string(i) + ": v\r\n";
    const std::string cases[] = {
        "GET /" + big + " HTTP/1.1\r\n\r\n",
        request("/ok", "X-Big: " + big + "\r\n"),
        request("/ok", manyHeaders),
        "POST /echo HTTP/1.1\r\n" + host + "Content-Length: 1048577\r\n\r\n",
        "POST /echo HTTP/1.1\r\n" + host + "Content-Length: 18446744073709551616\r\n\r\n",
        "POST /echo HTTP/1.1\r\n" + host + "Content-Length: 4x\r\n\r\nbody",
    };
    for (const std::string& c : cases) {
        SCOPED_TRACE(c.substr(0, 60));
        Client client(running.port);
        client.send(c);
        bool closed = false;
        EXPECT_EQ(client.readAll(&closed), "");
        EXPECT_TRUE(closed);
    }
    // A body of exactly the limit is still read.
    std::string limit(1024 * 1024, 'b');
    std::string response = roundTrip(running.port, "POST /echo HTTP/1.1\r\n" + host + "Content-Length: 1048576\r\n\r\n" + limit);
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

TEST(EngineLimitsTest, IdleClientsAreClosedAndOpenConnectionsAreCapped) {
    RunningServer running;
    HttpServerLimits limits;
    limits.workerCount = 1;
    limits.maxOpenConnections = 2;
    limits.readTimeout = std::chrono::milliseconds(300);
    running.server->setLimits(limits);
    running.server->GET["/ok"] = [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text("abc")); };
    running.start();

    // An idle connection does not hold the only worker for ever.
    {
        Client idle(running.port);
        idle.send("GET /ok HTTP/1.1\r\n");  // never finishes its head
        bool closed = false;
        EXPECT_EQ(idle.readAll(&closed), "");
        EXPECT_TRUE(closed);
    }
    EXPECT_EQ(test::statusLine(test::get(running.port, "/ok")), "HTTP/1.1 200 OK");

    limits.readTimeout = std::chrono::milliseconds(60000);
    running.server->stop();
    running.server->setLimits(limits);
    running.server->start(running.port, true);
    Client busy(running.port);   // taken by the worker, waits for a request
    busy.send("G");
    Client queued(running.port);  // waits for the worker
    queued.send("G");
    Client refused(running.port);
    bool closed = false;
    EXPECT_EQ(refused.readAll(&closed), "");
    EXPECT_TRUE(closed) << "a connection beyond the cap is closed at once";
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

}  // namespace
}  // namespace qv::server
