// Deadlines, one for the whole of each phase of a connection, kept per IO thread in a set ordered
// by time: the request head or the wait for the next one (headerTimeout, from addConnection and
// responseWritten), a body or an answer (transferTimeout plus its length at minimumRate, from
// advance and startWriting), and two seconds of lingering after an error answer. A body or an
// answer also ends once its peer makes no progress for transferTimeout: its deadline is the
// earlier of the two, and moves on when it comes and the peer has made progress meanwhile (as a
// timer that is not moved for every write). The loop sleeps until the earliest deadline; a
// connection past its own is closed.
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
        if (keepsPace(loop, late, now)) continue;
        closeConnection(loop, late);  // an answer cut short goes with what the kernel still holds
    }
}

// Whether a body or an answer whose deadline has come still goes on: its peer made progress within
// transferTimeout (sent bytes of the body, or took bytes of the answer, also only from the
// kernel's buffer) and it is not past its length at the minimum rate. Its deadline then moves on.
bool HttpServerIO::keepsPace(Loop& loop, Connection& connection, Clock::time_point now) {
    if (connection.phase != Connection::Phase::body && connection.phase != Connection::Phase::writing) return false;
    if (!connection.transferEnd || now >= *connection.transferEnd) return false;
    if (connection.phase == Connection::Phase::writing && connection.sentOnAtLastLook && connection.peerTookMore())
        loop.markWaiting(connection, now);
    const Clock::time_point stalledAt = connection.waitingSince + limits_.transferTimeout;
    if (now >= stalledAt) return false;
    loop.setDeadline(connection, std::min(stalledAt, *connection.transferEnd));
    return true;
}

}  // namespace qv::server
