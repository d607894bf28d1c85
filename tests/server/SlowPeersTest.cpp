// Peers that make no progress: readers that stop taking their answers, and unfinished requests
// spread over several IO threads. Neither may shut out a normal client, and the one that has made
// no progress for longest goes first, whichever IO thread holds it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "ServerTestSupport.h"
#include "server/FileServing.h"
#include "server/HttpServer.h"

namespace qv::server {
namespace {

using test::Client;
using test::keptAliveRequest;
using test::RunningServer;
using test::textHandler;

// A file of 64 MiB that takes no room on the disk.
std::string largeFile(const test::TempDir& folder) {
    const std::string path = (folder.path() / "large.bin").string();
    std::ofstream(path).close();
    std::filesystem::resize_file(path, 64 * 1024 * 1024);
    return path;
}

// The route of the whole-disk share for an absolute path, every "/" written %2F.
std::string shareTarget(const std::string& path) {
    std::string target = "/files/";
    for (char c : path) target += c == '/' ? std::string("%2F") : std::string(1, c);
    return target;
}

// The share of the whole disk as the program runs it, with readers that stop taking their answers
// filling the connection cap: a normal client is still answered, at once, by closing the reader
// that has made no progress for longest. (The deadline without progress is longer than the test,
// so only the cap's choice makes room.)
TEST(SlowPeersTest, ReadersThatTakeNothingDoNotShutOutANormalClient) {
    test::TempDir folder;
    const std::string large = largeFile(folder);
    RunningServer running;
    HttpServerLimits limits;
    limits.transferTimeout = std::chrono::seconds(120);
    running.server->setLimits(limits);
    running.server->router.addRoute(std::nullopt, "/files/:path", fileShareHandler("/", {}));
    running.server->GET["/ok"] = textHandler("abc");
    running.start();
    std::vector<std::unique_ptr<Client>> readers =
        test::stalledReaders(running.port, static_cast<int>(limits.maxOpenConnections), shareTarget(large));

    for (int i = 0; i < 3; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(test::bodyOf(test::get(running.port, "/ok")), "abc") << i;
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5)) << i;
    }
    // Room was made by closing readers, at most one for each request (a request's connection may
    // still be open when the next one comes).
    std::size_t ended = 0;
    for (auto& reader : readers) ended += reader->endedWithin(std::chrono::milliseconds(0));
    EXPECT_GE(ended, 1u);
    EXPECT_LE(ended, 3u);
}

// At the cap a reader that takes nothing has made no progress since its buffer filled: it goes
// before kept-alive connections that were answered after it.
TEST(SlowPeersTest, PastTheCapTheReaderStalledLongestGoesBeforeIdleConnections) {
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    limits.maxOpenConnections = 3;
    limits.transferTimeout = std::chrono::seconds(120);
    running.server->setLimits(limits);
    running.server->GET["/ok"] = textHandler("abc");
    running.server->GET["/big"] = [](const HttpRequest&) {
        return HttpResponse::ok(HttpResponseBody::data(std::vector<std::uint8_t>(32 * 1024 * 1024, 'z')));
    };
    running.start();
    std::vector<std::unique_ptr<Client>> readers = test::stalledReaders(running.port, 1, "/big");
    readers[0]->waitUntilFull();
    const std::size_t answerLength = 82 + HttpServer::version().size();
    std::vector<std::unique_ptr<Client>> kept =
        test::keptAliveConnections(running.port, 2, "/ok", answerLength, "abc");

    EXPECT_EQ(test::bodyOf(test::get(running.port, "/ok")), "abc") << "the new connection is served";
    EXPECT_TRUE(readers[0]->endedWithin(std::chrono::seconds(5)));
    for (std::size_t i = 0; i < kept.size(); ++i)
        EXPECT_TRUE(test::answersAgain(*kept[i], running.port, "/ok", answerLength, "abc")) << i;
}

// An answer's deadline moves on while its reader takes it, however slowly the kernel tells the
// server of it, and comes once the reader takes nothing for the transfer time-out, long before
// the answer's length at the minimum rate.
TEST(SlowPeersTest, AnAnswerEndsOnceItsReaderTakesNothingForTheTransferTimeout) {
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 1;
    limits.transferTimeout = std::chrono::milliseconds(1000);
    limits.minimumRate = 1024;  // 32 MiB at this rate: nine hours
    running.server->setLimits(limits);
    running.server->GET["/big"] = [](const HttpRequest&) {
        return HttpResponse::ok(HttpResponseBody::data(std::vector<std::uint8_t>(32 * 1024 * 1024, 'z')));
    };
    running.start();
    // The one that takes its answer comes last, so that it takes from its first byte on.
    std::vector<std::unique_ptr<Client>> readers = test::stalledReaders(running.port, 2, "/big");
    Client& stalled = *readers[0];
    Client& taking = *readers[1];

    // About 80 KiB a second for five seconds: the server learns of it only from its kernel's
    // buffer, which holds more than that.
    const auto begin = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - begin < std::chrono::seconds(5)) {
        ASSERT_EQ(taking.readExactly(4096).size(), 4096u) << "a reader that takes its answer goes on";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(stalled.endedWithin(std::chrono::milliseconds(0))) << "ended within about two seconds";
    EXPECT_EQ(taking.readExactly(4096).size(), 4096u);
}

// A route the IO thread answers itself: which thread it is, and one that keeps its thread busy
// until the test lets it go.
struct ThreadRoutes {
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    bool released = false;

    void add(HttpServer& server) {
        QuickHandler which;
        which.answerNow = [](const HttpRequest&) -> std::optional<HttpResponse> {
            return HttpResponse::ok(HttpResponseBody::text(
                std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()))));
        };
        which.full = [](const HttpRequest&) { return HttpResponse::ok(HttpResponseBody::text("worker")); };
        server.GET["/thread"] = which;
        QuickHandler hold;
        hold.answerNow = [this](const HttpRequest&) -> std::optional<HttpResponse> {
            std::unique_lock lock(mutex);
            holding = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(20), [this] { return released; });
            return HttpResponse::ok(HttpResponseBody::text("held"));
        };
        hold.full = which.full;
        server.GET["/hold"] = hold;
    }
    void waitHolding() {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(20), [this] { return holding; });
    }
    void release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

std::string askThread(Client& client, std::uint16_t port) {
    client.send(keptAliveRequest(port, "/thread"));
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        std::string byte = client.readExactly(1);
        if (byte.empty()) return {};
        head += byte;
    }
    const std::size_t at = head.find("Content-Length: ") + 16;
    return client.readExactly(std::stoul(head.substr(at, head.find("\r\n", at) - at)));
}

// One budget for the unfinished requests of the whole server: past it, the connection that has
// waited longest is closed, also when another IO thread holds it, and not the newer upload whose
// own thread holds the most.
TEST(SlowPeersTest, PastTheBudgetTheLongestWaitingConnectionOfAnotherThreadIsClosed) {
    ThreadRoutes routes;
    RunningServer running;
    HttpServerLimits limits;
    limits.ioThreadCount = 2;
    limits.pendingRequestBytes = 40000;
    running.server->setLimits(limits);
    routes.add(*running.server);
    running.server->POST["/echo"] = [](const HttpRequest& r) {
        return HttpResponse::ok(HttpResponseBody::text(std::to_string(r.body.size())));
    };
    running.start();

    // The oldest holder, on one thread, and a connection on the same thread to keep it busy.
    Client oldest(running.port);
    const std::string oldestThread = askThread(oldest, running.port);
    ASSERT_FALSE(oldestThread.empty());
    std::unique_ptr<Client> holder;
    for (int i = 0; i < 100 && !holder; ++i) {
        auto candidate = std::make_unique<Client>(running.port);
        if (askThread(*candidate, running.port) == oldestThread) holder = std::move(candidate);
    }
    ASSERT_TRUE(holder) << "no second connection on the first IO thread";
    // A head of 12,000 bytes that never ends.
    std::string unfinished =
        "GET /thread HTTP/1.1\r\nHost: localhost\r\nX-A: " + std::string(7900, 'a') + "\r\nX-B: ";
    unfinished += std::string(12000 - 2 - unfinished.size(), 'b') + "\r\n";
    oldest.send(unfinished);
    // That thread reads the head before it runs the request sent after it, and then stays busy,
    // so the next connection goes to the other thread.
    holder->send(keptAliveRequest(running.port, "/hold"));
    routes.waitHolding();
    Client upload(running.port);
    const std::string uploadThread = askThread(upload, running.port);
    routes.release();
    ASSERT_NE(uploadThread, oldestThread);

    // The upload alone holds more than half the budget; with the unfinished head, more than all.
    upload.send("POST /echo HTTP/1.1\r\nHost: localhost\r\nContent-Length: 30000\r\n\r\n" +
                std::string(20000, 'u'));
    EXPECT_TRUE(oldest.closedWithin(std::chrono::seconds(5))) << "the longest waiting, on the other thread";
    upload.send(std::string(10000, 'u'));
    std::string answer = upload.readAll();
    EXPECT_EQ(test::statusLine(answer), "HTTP/1.1 200 OK") << answer;
    EXPECT_EQ(test::bodyOf(answer), "30000");
}

}  // namespace
}  // namespace qv::server
