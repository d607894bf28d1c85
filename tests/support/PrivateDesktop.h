#pragma once
// A virtual X display of the test's own with a window manager (openbox) on it, for tests that move,
// raise and list windows: they must not disturb other tests on the shared display, and a window
// manager there would. Start it before the QApplication, so the toolkit lives on it as well.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace qv::test {

class PrivateDesktop {
public:
    struct Options {
        const char* size = "1600x1000";
        bool composite = true;      // the server offers the Composite extension
        bool windowManager = true;  // openbox runs on it
        bool exportDisplay = true;  // DISPLAY of this process names it
    };

    // Starts Xvfb (screen `size`, e.g. "1600x1000") and openbox; sets DISPLAY for this process.
    explicit PrivateDesktop(const char* size = "1600x1000") : PrivateDesktop(Options{size}) {}
    explicit PrivateDesktop(const Options& options) : windowManager_(options.windowManager) {
        int fds[2];
        if (pipe(fds) != 0) return;
        xvfb_ = fork();
        if (xvfb_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = std::string(options.size) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   options.composite ? "+extension" : "-extension", "Composite", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return;
        display_ = ":" + number;
        if (options.exportDisplay) {
            setenv("DISPLAY", display_.c_str(), 1);
            unsetenv("WAYLAND_DISPLAY");
            setenv("QT_QPA_PLATFORM", "xcb", 1);
        }
        if (!options.windowManager) return;

        openbox_ = fork();
        if (openbox_ == 0) {
            setenv("DISPLAY", display_.c_str(), 1);
            execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once it answers for the root window.
        for (int i = 0; i < 300 && !windowManagerReady(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~PrivateDesktop() {
        for (pid_t pid : {openbox_, xvfb_}) {
            if (pid <= 0) continue;
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    bool ok() const { return !display_.empty() && (!windowManager_ || windowManagerReady()); }
    const std::string& display() const { return display_; }

private:
    bool windowManagerReady() const {
        // Bounded: an xprop that hangs as the window manager starts would hold the test for ever.
        const std::string command =
            "timeout 5 xprop -display " + display_ + " -root _NET_SUPPORTING_WM_CHECK 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return false;
        char buffer[256];
        std::string out;
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
        return out.find("window id") != std::string::npos;
    }

    bool windowManager_ = true;
    pid_t xvfb_ = -1;
    pid_t openbox_ = -1;
    std::string display_;
};

}  // namespace qv::test
