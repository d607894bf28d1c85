#pragma once
// Process-level services for server code: the calling thread's id, the process id and observers
// of the terminating signals SIGTERM, SIGHUP and SIGINT.
#include <cstdint>
#include <functional>

namespace qv::html {

class Process {
public:
    using SignalObserver = std::function<void(int signalNumber)>;

    Process() = delete;

    // The calling thread's id: fixed for the thread's life and distinct among live threads.
    static std::uint64_t currentThreadId();
    static std::int64_t currentProcessId();

    // Registers an observer for SIGTERM, SIGHUP and SIGINT for the rest of the process's life.
    // The first registration installs the handlers (from then on these signals no longer end the
    // process by themselves). Each delivered signal calls every observer once, in registration
    // order, with the signal number, on a dispatch thread of its own (never in signal-handler
    // context). An observer registered while a delivery is under way is called from the next
    // delivery on. Safe to call from any thread, observers included.
    static void addSignalObserver(SignalObserver observer);
};

}  // namespace qv::html
