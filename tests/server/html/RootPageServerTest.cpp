#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/HttpServer.h"
#include "server/ServerTestSupport.h"
#include "server/html/PageResponse.h"

namespace {

using qv::server::HttpServer;
using qv::server::test::Client;
using qv::server::test::RunningServer;

// The whole answer at "/": no length, no keep-alive, the connection closed after the page.
std::string expectedRootAnswer() {
    return "HTTP/1.1 200 OK\r\n"
           "Connection: close\r\n"
           "Content-Type: text/html\r\n"
           "Server: QVHttp " +
           HttpServer::version() +
           "\r\n"
           "\r\n"
           "<!DOCTYPE html><html><body><center>"
           "<img src=\"https://www.swift.org/assets/images/swift.svg\"></img>"
           "</center></body></html>";
}

TEST(RootPageOverLoopback, AnyMethodGetsTheSameRootPageAndTheConnectionCloses) {
    RunningServer running;
    running.server->router.addRoute(std::nullopt, "/", qv::html::rootPageHandler);
    running.start();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(running.port) + "\r\n";

    const struct {
        const char* name;
        std::string request;
    } cases[] = {
        {"GET asking for keep-alive", "GET / HTTP/1.1\r\n" + host + "Connection: keep-alive\r\n\r\n"},
        {"GET with a query", "GET /?page=2&x HTTP/1.1\r\n" + host + "\r\n"},
        {"POST with a body", "POST / HTTP/1.1\r\n" + host +
                                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\na=1&b=2"},
        {"made-up method", "BREW / HTTP/1.1\r\n" + host + "Accept: */*\r\n\r\n"},
    };
    for (const auto& c : cases) {
        Client client(running.port);
        client.send(c.request);
        bool closed = false;
        EXPECT_EQ(client.readAll(&closed), expectedRootAnswer()) << c.name;
        EXPECT_TRUE(closed) << c.name;
    }
}

TEST(RootPageOverLoopback, ConcurrentClientsEachGetTheWholePage) {
    // Every connection builds its page on its own worker thread at the same time as others.
    RunningServer running;
    running.server->router.addRoute(std::nullopt, "/", qv::html::rootPageHandler);
    running.start();
    constexpr int clientCount = 16;
    std::vector<std::string> answers(clientCount);
    std::vector<std::thread> clients;
    for (int i = 0; i < clientCount; ++i)
        clients.emplace_back([&, i] { answers[i] = qv::server::test::get(running.port, "/"); });
    for (auto& t : clients) t.join();
    for (int i = 0; i < clientCount; ++i) EXPECT_EQ(answers[i], expectedRootAnswer()) << "client " << i;
}

}  // namespace
