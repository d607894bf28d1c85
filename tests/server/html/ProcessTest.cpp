#include <gtest/gtest.h>

#include <barrier>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "server/html/Process.h"

namespace {

using qv::html::Process;

TEST(Process, ThreadIdsAreStablePerThreadAndDistinctAcrossThreads) {
    EXPECT_EQ(Process::currentThreadId(), Process::currentThreadId());
    EXPECT_EQ(Process::currentProcessId(), static_cast<std::int64_t>(getpid()));

    constexpr int threadCount = 6;
    std::vector<std::uint64_t> ids(threadCount);
    std::barrier together(threadCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&, i] {
            ids[i] = Process::currentThreadId();
            together.arrive_and_wait();  // all alive at once
            EXPECT_EQ(ids[i], Process::currentThreadId());
        });
    }
    for (auto& t : threads) t.join();
    std::set<std::uint64_t> distinct(ids.begin(), ids.end());
    distinct.insert(Process::currentThreadId());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(threadCount + 1));
}

// Signal handlers stay installed for the rest of a process, so each case runs in a child
// process of its own; the child reports failures on standard error and exits with 1.
class SignalObserverTest : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

struct Calls {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> log;

    void add(std::string entry) {
        std::lock_guard lock(mutex);
        log.push_back(std::move(entry));
        changed.notify_all();
    }
    // Waits (generously) until the log holds `count` entries and returns it.
    std::vector<std::string> waitFor(std::size_t count) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return log.size() >= count; });
        return log;
    }
};

[[noreturn]] void finish(bool ok, const std::string& detail) {
    if (!ok) std::fprintf(stderr, "%s\n", detail.c_str());
    std::_Exit(ok ? 0 : 1);
}

std::string joined(const std::vector<std::string>& log) {
    std::string s;
    for (const auto& e : log) s += e + " ";
    return s;
}

// Each runs in a child process and exits with 0 when all went as expected.
[[noreturn]] void observersRunInRegistrationOrder() {
    Calls calls;
    const auto observer = [&calls](const char* name) {
        return [&calls, name](int signalNumber) { calls.add(name + std::to_string(signalNumber)); };
    };
    Process::addSignalObserver(observer("A"));
    Process::addSignalObserver(observer("B"));
    Process::addSignalObserver(observer("A"));  // the same observer twice is called twice
    std::raise(SIGTERM);
    calls.waitFor(3);
    std::raise(SIGHUP);
    calls.waitFor(6);
    std::raise(SIGINT);
    const auto log = calls.waitFor(9);
    finish(joined(log) == "A15 B15 A15 A1 B1 A1 A2 B2 A2 ", joined(log));
}

[[noreturn]] void observerAddedDuringDelivery() {
    Calls calls;
    bool added = false;
    Process::addSignalObserver([&](int signalNumber) {
        calls.add("first" + std::to_string(signalNumber));
        if (!added) {
            added = true;
            Process::addSignalObserver([&](int n) { calls.add("late" + std::to_string(n)); });
        }
    });
    std::raise(SIGHUP);
    calls.waitFor(1);
    std::raise(SIGTERM);
    const auto log = calls.waitFor(3);
    finish(joined(log) == "first1 first15 late15 ", joined(log));
}

[[noreturn]] void signalsSurviveAndSigchldUntouched() {
    Calls calls;
    Process::addSignalObserver([&](int n) { calls.add(std::to_string(n)); });
    for (int s : {SIGTERM, SIGHUP, SIGINT}) kill(getpid(), s);
    const auto log = calls.waitFor(3);
    struct sigaction child {};
    sigaction(SIGCHLD, nullptr, &child);
    finish(log.size() == 3 && child.sa_handler == SIG_DFL, "calls: " + joined(log));
}

TEST_F(SignalObserverTest, ObserversRunInRegistrationOrderOncePerDelivery) {
    EXPECT_EXIT(observersRunInRegistrationOrder(), testing::ExitedWithCode(0), "");
}

TEST_F(SignalObserverTest, ObserverAddedDuringADeliveryStartsWithTheNext) {
    EXPECT_EXIT(observerAddedDuringDelivery(), testing::ExitedWithCode(0), "");
}

TEST_F(SignalObserverTest, RegisteredSignalsNoLongerEndTheProcessAndSigchldIsLeftAlone) {
    EXPECT_EXIT(signalsSurviveAndSigchldUntouched(), testing::ExitedWithCode(0), "");
}

TEST_F(SignalObserverTest, WithoutRegistrationSignalsKeepTheirDefaultAction) {
    EXPECT_EXIT(std::raise(SIGTERM), testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(std::raise(SIGHUP), testing::KilledBySignal(SIGHUP), "");
}

}  // namespace
