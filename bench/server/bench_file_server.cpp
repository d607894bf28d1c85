// Serves the whole disk through "/files/:path" as the program does, on a free loopback port;
// prints the port and runs until its standard input closes.
#include <cstdio>
#include <iostream>
#include <string>

#include "server/FileServing.h"
#include "server/HttpServer.h"

int main() {
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
