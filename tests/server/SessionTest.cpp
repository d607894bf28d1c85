// Sessions after a 101 answer: each gets its thread before the answer goes out, or the request is
// answered 503 and the server goes on; sessions count toward the connection cap, below a cap of
// their own, so that ordinary requests are always answered.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ServerTestSupport.h"
#include "server/HttpServer.h"

namespace qv::server {
namespace {

using test::Client;
using test::textHandler;

// A session that holds its connection until the client closes it or the server stops.
HttpHandler holdingUpgrade() {
    return [](const HttpRequest&) {
        return HttpResponse::switchProtocols({{"Upgrade", "hold"}}, [](Socket& socket) {
            try {
                for (;;) (void)socket.readByte();
            } catch (const std::exception&) {
            }
        });
    };
}

std::string upgradeRequest(std::uint16_t port) {
    return "GET /hold HTTP/1.1\r\nHost: localhost:" + std::to_string(port) + "\r\nUpgrade: hold\r\nConnection: Upgrade\r\n\r\n";
}

// The status line of an answer to an upgrade, read up to the end of its head.
std::string upgradeStatus(Client& client) {
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        std::string byte = client.readExactly(1);
        if (byte.empty()) break;
        head += byte;
    }
    return test::statusLine(head);
}

const std::string refused = "HTTP/1.1 503 Service Unavailable";
const std::string switched = "HTTP/1.1 101 Switching Protocols";

// Idle sessions past their cap are refused; those that run count toward the connection cap, where
// a waiting connection, never a session, makes room for a new request.
TEST(EngineSessionTest, IdleSessionsPastTheirCapAreRefusedAndRequestsStillAnswered) {
    test::RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    limits.maxOpenConnections = 8;
    limits.maxSessions = 3;
    running.server->setLimits(limits);
    running.server->GET["/hold"] = holdingUpgrade();
    running.server->GET["/ok"] = textHandler("abc");
    running.start();

    std::vector<std::unique_ptr<Client>> sessions;
    for (int i = 0; i < 10; ++i) {
        auto client = std::make_unique<Client>(running.port);
        client->send(upgradeRequest(running.port));
        const std::string status = upgradeStatus(*client);
        if (i < 3) {
            EXPECT_EQ(status, switched) << i;
            sessions.push_back(std::move(client));
        } else {
            EXPECT_EQ(status, refused) << i;
            EXPECT_TRUE(client->closedWithin(std::chrono::seconds(5))) << i;
        }
    }
    EXPECT_EQ(test::bodyOf(test::get(running.port, "/ok")), "abc");

    // Three sessions and five kept connections fill the cap of eight.
    const std::size_t answerLength = 82 + HttpServer::version().size();
    std::vector<std::unique_ptr<Client>> kept = test::keptAliveConnections(running.port, 5, "/ok", answerLength, "abc");
    EXPECT_EQ(test::bodyOf(test::get(running.port, "/ok")), "abc") << "a new request is answered at the cap";
    EXPECT_TRUE(kept[0]->closedWithin(std::chrono::seconds(5))) << "the longest waiting connection made room";
    for (auto& session : sessions) EXPECT_FALSE(session->closedWithin(std::chrono::milliseconds(50)));

    // A session that ends gives its place back.
    sessions.pop_back();
    bool upgraded = false;
    for (int i = 0; i < 500 && !upgraded; ++i) {  // until the server has seen it go, at most five seconds
        Client client(running.port);
        client.send(upgradeRequest(running.port));
        upgraded = upgradeStatus(client) == switched;
        if (!upgraded) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(upgraded);
}

// What the child process of the thread-limit test reports to the test through its pipe.
enum Report : char { listening = 'l', raised = 'r', noThreadLimit = 's' };

// The child: a server whose process may make no more threads once it listens (a limit on the
// user's processes, under a user of its own when it runs as root, whom the limit would spare);
// the limit is raised again when the test asks. Ends when the test closes its pipe.
[[noreturn]] void serveUnderAThreadLimit(int toTest, int fromTest) {
    if (::geteuid() == 0) {
        const uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
            ::setresuid(nobody, nobody, nobody) != 0) {
            const char report = noThreadLimit;
            [[maybe_unused]] ssize_t n = ::write(toTest, &report, 1);
            ::_exit(0);
        }
    }
    HttpServer server;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    limits.workerCount = 2;
    server.setLimits(limits);
    server.GET["/hold"] = holdingUpgrade();
    server.GET["/ok"] = textHandler("abc");
    server.start(0, true);
    rlimit threads{};
    ::getrlimit(RLIMIT_NPROC, &threads);
    const rlimit before = threads;
    threads.rlim_cur = 1;
    ::setrlimit(RLIMIT_NPROC, &threads);
    const std::uint16_t port = server.localPort();
    char message[3] = {listening, static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
    [[maybe_unused]] ssize_t n = ::write(toTest, message, sizeof message);
    char request = 0;
    if (::read(fromTest, &request, 1) == 1) {
        ::setrlimit(RLIMIT_NPROC, &before);
        const char report = raised;
        n = ::write(toTest, &report, 1);
        while (::read(fromTest, &request, 1) == 1) {
        }
    }
    server.stop();
    ::_exit(0);
}

// With no thread to be had, a burst of upgrades is answered 503, one by one, and the server goes
// on answering requests; once threads can be made again, so can sessions.
TEST(EngineSessionTest, UnderAThreadLimitABurstOfUpgradesIsRefusedAndTheServerGoesOn) {
    int toTest[2], fromTest[2];
    ASSERT_EQ(::pipe2(toTest, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(fromTest, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toTest[0]);
        ::close(fromTest[1]);
        serveUnderAThreadLimit(toTest[1], fromTest[0]);
    }
    ::close(toTest[1]);
    ::close(fromTest[0]);
    struct Child {
        pid_t pid;
        int toChild;
        int fromChild;
        // Ends the child and tells how: its exit code, or 128 + the signal that ended it.
        int end() {
            if (toChild >= 0) ::close(std::exchange(toChild, -1));
            int status = 0;
            if (::waitpid(pid, &status, 0) != pid) return -1;
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        ~Child() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                end();
            }
            ::close(fromChild);
        }
    } serving{child, fromTest[1], toTest[0]};

    char message[3] = {};
    ASSERT_GE(::read(serving.fromChild, message, 1), 1);
    if (message[0] == noThreadLimit) GTEST_SKIP() << "the test cannot take another user to limit its threads";
    ASSERT_EQ(message[0], listening);
    ASSERT_EQ(::read(serving.fromChild, message + 1, 2), 2);
    const std::uint16_t port = static_cast<std::uint16_t>((static_cast<unsigned char>(message[1]) << 8) |
                                                          static_cast<unsigned char>(message[2]));

    std::vector<std::unique_ptr<Client>> burst;
    for (int i = 0; i < 20; ++i) {
        burst.push_back(std::make_unique<Client>(port));
        burst.back()->send(upgradeRequest(port));
    }
    for (std::size_t i = 0; i < burst.size(); ++i) {
        EXPECT_EQ(upgradeStatus(*burst[i]), refused) << i;
        EXPECT_TRUE(burst[i]->closedWithin(std::chrono::seconds(5))) << i;
    }
    EXPECT_EQ(test::bodyOf(test::get(port, "/ok")), "abc");

    const char raise = 'r';
    ASSERT_EQ(::write(serving.toChild, &raise, 1), 1);
    char report = 0;
    ASSERT_EQ(::read(serving.fromChild, &report, 1), 1);
    ASSERT_EQ(report, raised);
    Client session(port);
    session.send(upgradeRequest(port));
    EXPECT_EQ(upgradeStatus(session), switched);
    EXPECT_EQ(test::bodyOf(test::get(port, "/ok")), "abc");
    EXPECT_EQ(serving.end(), 0) << "the server stopped cleanly";
}

}  // namespace
}  // namespace qv::server
