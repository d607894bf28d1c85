// qv-server-demo [port] [public folder]: runs the server's demonstration site on loopback
// (127.0.0.1, default port 9081, default folder resources/demo-public) until interrupted.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "server/demo/DemoServer.h"
#include "util/Print.h"

namespace {

// The folder as given; for the default, the one beside the executable when the working folder
// has none.
std::string publicFolder(int argc, char** argv) {
    if (argc > 2) return argv[2];
    const std::filesystem::path relative = "resources/demo-public";
    if (std::filesystem::is_directory(relative)) return relative.string();
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && std::filesystem::is_directory(self.parent_path() / relative)) return (self.parent_path() / relative).string();
    return relative.string();
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long port = 9081;
    if (argc > 1) {
        char* end = nullptr;
        port = std::strtoul(argv[1], &end, 10);
        if (!end || *end || port == 0 || port > 65535) {
            qv::util::writeLine(std::string("Not a port number: ") + argv[1]);
            qv::util::writeLine("Usage: qv-server-demo [port, default 9081] [public folder, default resources/demo-public]");
            return 2;
        }
    }
    // Interrupts are waited for on this thread; the server's threads never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto server = qv::serverdemo::buildDemoServer(publicFolder(argc, argv));
    try {
        server->start(static_cast<std::uint16_t>(port), true);
    } catch (const std::exception& error) {
        qv::util::writeLine(std::string("Server start error: ") + error.what());
        return 1;
    }
    qv::util::writeLine("Demo server on http://127.0.0.1:" + std::to_string(server->localPort()) + "/");
    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    server->stop();
    // The route list's handler refers to the server; routes go with it.
    return 0;
}
