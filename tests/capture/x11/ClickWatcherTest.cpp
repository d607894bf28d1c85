// The click watcher's thread ends with the watcher, also when the process had no descriptors left
// for the pipe that stops it.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "capture/x11/ClickWatcher.h"

namespace {

thread_local bool descriptorsRunOut = false;

}  // namespace

// Stands in for the C library's pipe2 in this program: fails as it does when the process has no
// descriptors left while the calling thread says so, and is the real one otherwise.
extern "C" int pipe2(int fds[2], int flags) {
    if (descriptorsRunOut) {
        errno = EMFILE;
        return -1;
    }
    using Pipe2 = int (*)(int*, int);
    static const auto real = reinterpret_cast<Pipe2>(dlsym(RTLD_NEXT, "pipe2"));
    return real(fds, flags);
}

namespace {

using qv::capture::x11::ClickWatcher;

// Destroys the watcher on a thread of its own and waits for that to end.
bool endsWhenDestroyed(std::unique_ptr<ClickWatcher> watcher) {
    auto ended = std::make_shared<std::promise<void>>();
    auto future = ended->get_future();
    // Detached: a watcher whose thread never ends must fail the test, not hang it.
    std::thread([watcher = std::move(watcher), ended]() mutable {
        watcher.reset();
        ended->set_value();
    }).detach();
    return future.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
}

TEST(ClickWatcher, WatchesTheDisplayAndEndsWithItsOwner) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "runs on the tests' virtual display";
    auto watcher = std::make_unique<ClickWatcher>([](int, int) {});
    EXPECT_TRUE(watcher->watching());
    EXPECT_TRUE(endsWhenDestroyed(std::move(watcher)));
}

TEST(ClickWatcher, WithoutDescriptorsForItsStopPipeItDoesNotWatchAndStillEnds) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "runs on the tests' virtual display";
    descriptorsRunOut = true;
    auto watcher = std::make_unique<ClickWatcher>([](int, int) {});
    descriptorsRunOut = false;
    EXPECT_FALSE(watcher->watching());
    EXPECT_TRUE(endsWhenDestroyed(std::move(watcher))) << "the watching thread was never stopped";
}

}  // namespace
