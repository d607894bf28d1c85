// Serves the whole disk through "/files/:path" as the program does, on a free loopback port;
// prints the port and runs until its standard input closes.
#include <sys/resource.h>

#include <cstdio>
#include <algorithm>
#include <iostream>
#include <string>

#include "server/FileServing.h"
#include "server/HttpServer.h"

int main() {
    // Room for the abuse run's connections (nginx is given the same).
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 65536);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    qv::server::HttpServer server;
    server.router.addRoute(std::nullopt, "/files/:path", qv::server::fileShareHandler("/", {"index.html", "default.html"}));
    server.start(0, true);
    std::printf("%u\n", static_cast<unsigned>(server.localPort()));
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.stop();
    return 0;
}
