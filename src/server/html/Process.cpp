#include "server/html/Process.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qv::html {

namespace {

using ObserverList = std::vector<Process::SignalObserver>;

// The handler only writes the signal number into a pipe; a dispatch thread reads it and calls the
// observers, so observers may lock, allocate and register further observers.
struct SignalRegistry {
    std::mutex mutex;
    bool handlersInstalled = false;
    // Copy on write: a delivery holds its snapshot while registrations replace the list.
    std::shared_ptr<const ObserverList> observers = std::make_shared<const ObserverList>();
};

// Lives for the whole process: the dispatch thread may still read it while static objects are
// being destroyed at exit.
SignalRegistry& registry() {
    static SignalRegistry* instance = new SignalRegistry;
    return *instance;
}

std::atomic<int> signalPipeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free fd");

extern "C" void onTerminatingSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = signalPipeWriteEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void dispatchSignal(int signalNumber) {
    std::shared_ptr<const ObserverList> snapshot;
    {
        std::lock_guard lock(registry().mutex);
        snapshot = registry().observers;
    }
    for (const auto& observer : *snapshot) observer(signalNumber);
}

void dispatchLoop(int readEnd) {
    for (;;) {
        unsigned char byte = 0;
        const ssize_t n = ::read(readEnd, &byte, 1);
        if (n == 1) {
            dispatchSignal(byte);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ::close(readEnd);
            return;
        }
    }
}

// Starts the dispatch thread and installs the handler for SIGTERM, SIGHUP and SIGINT, in this
// order. When the pipe or the thread cannot be made, the signals keep their default actions
// rather than being swallowed unseen. SIGCHLD is left alone.
void installHandlers() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    try {
        std::thread(dispatchLoop, fds[0]).detach();
    } catch (const std::system_error&) {
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    signalPipeWriteEnd.store(fds[1], std::memory_order_relaxed);

    struct sigaction action {};
    action.sa_handler = onTerminatingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

std::uint64_t Process::currentThreadId() {
    return static_cast<std::uint64_t>(::syscall(SYS_gettid));
}

std::int64_t Process::currentProcessId() {
    return static_cast<std::int64_t>(::getpid());
}

void Process::addSignalObserver(SignalObserver observer) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.handlersInstalled) {
        installHandlers();
        r.handlersInstalled = true;
    }
    auto grown = std::make_shared<ObserverList>(*r.observers);
    grown->push_back(std::move(observer));
    r.observers = std::move(grown);
}

}  // namespace qv::html
