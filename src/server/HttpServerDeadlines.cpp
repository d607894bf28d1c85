// Deadlines, one for the whole of each phase of a connection, kept per IO thread in a set ordered
// by time: the request head or the wait for the next one (headerTimeout, from addConnection and
// responseWritten), a body or an answer (transferTimeout plus its length at minimumRate, from
// advance and startWriting), and two seconds of lingering after an error answer. The loop sleeps
// until the earliest of them; a connection past its own is closed.
#include <sys/socket.h>

#include "server/HttpServerIOInternal.h"

namespace qv::server {

// How long epoll_wait may sleep: until the earliest deadline or the end of a pause in accepting,
// in milliseconds (-1: nothing is timed).
int HttpServerIO::waitTimeout(const Loop& loop) const {
    int timeout = -1;
    std::optional<Clock::time_point> next;
    if (!loop.timers.empty()) next = loop.timers.begin()->first;
    if (loop.acceptPausedUntil && (!next || *loop.acceptPausedUntil < *next)) next = loop.acceptPausedUntil;
    if (next) {
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count() + 1;
        timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
    }
    return timeout;
}

Clock::time_point HttpServerIO::transferDeadline(std::size_t length) const {
    auto transferTime = std::chrono::milliseconds(length * 1000 / std::max<std::size_t>(1, limits_.minimumRate));
    return Clock::now() + limits_.transferTimeout + transferTime;
}

void HttpServerIO::expireDeadlines(Loop& loop) {
    const auto now = Clock::now();
    while (!loop.timers.empty() && loop.timers.begin()->first <= now) {
        Connection& late = *loop.timers.begin()->second;
        if (late.phase == Connection::Phase::writing) {
            // Too slow a reader: the answer is abandoned, with what the kernel still holds of it.
            linger off{1, 0};
            ::setsockopt(late.socket.socketFileDescriptor(), SOL_SOCKET, SO_LINGER, &off, sizeof off);
        }
        closeConnection(loop, late);
    }
}

}  // namespace qv::server
