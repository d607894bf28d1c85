#pragma once
// Starting one of the program's HTTP servers in a test: on a free port, or on the program's own
// port 9080 (which other test programs may hold for a moment: it is waited for).
#include <QElapsedTimer>
#include <QThread>

#include <cstdint>
#include <memory>
#include <string>

#include "server/HttpServer.h"

namespace qv::test {

// Starts `server` on `port` (0: any free one); retries while the port is taken, up to
// `timeoutMs`. True when it runs.
inline bool startServer(server::HttpServer& server, std::uint16_t port, int timeoutMs = 120000) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        try {
            server.start(port, true);
            return true;
        } catch (const std::exception&) {
            if (port == 0 || timer.elapsed() > timeoutMs) return false;
            QThread::msleep(200);
        }
    }
}

}  // namespace qv::test
