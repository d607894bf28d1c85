#include "capture/x11/ClickWatcher.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <fcntl.h>
#include <poll.h>
#include <cerrno>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace qv::capture::x11 {

namespace {

struct DisplayClose {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayClose>;

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool made() const { return fds_[0] >= 0; }
    int readEnd() const { return fds_[0]; }
    void wake() const {
        const char byte = 1;
        if (fds_[1] >= 0) [[maybe_unused]] auto written = ::write(fds_[1], &byte, 1);
    }

private:
    int fds_[2];
};

}  // namespace

struct ClickWatcher::Impl {
    Handler handler;
    Pipe stopPipe;
    std::thread thread;
    mutable std::mutex mutex;
    mutable std::condition_variable known;
    std::optional<bool> watching;

    void report(bool value) {
        std::lock_guard lock(mutex);
        watching = value;
        known.notify_all();
    }

    void run() {
        DisplayPtr display(XOpenDisplay(nullptr));
        if (!display) return report(false);
        int opcode = 0, firstEvent = 0, firstError = 0;
        if (!XQueryExtension(display.get(), "XInputExtension", &opcode, &firstEvent, &firstError))
            return report(false);
        int major = 2, minor = 2;
        if (XIQueryVersion(display.get(), &major, &minor) != Success) return report(false);

        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawButtonPress);
        XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};  // the master pointer: every physical and synthetic press
        const Window root = DefaultRootWindow(display.get());
        XISelectEvents(display.get(), root, &mask, 1);
        XSync(display.get(), False);
        report(true);

        const int connection = ConnectionNumber(display.get());
        for (;;) {
            while (XPending(display.get())) {
                XEvent event;
                XNextEvent(display.get(), &event);
                XGenericEventCookie* cookie = &event.xcookie;
                if (cookie->type != GenericEvent || cookie->extension != opcode) continue;
                if (!XGetEventData(display.get(), cookie)) continue;
                if (cookie->evtype == XI_RawButtonPress) {
                    const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
                    if (raw->detail >= 1 && raw->detail <= 3) {
                        // Raw events carry no position: the pointer is where the press happened.
                        Window rootReturn = 0, child = 0;
                        int rootX = 0, rootY = 0, winX = 0, winY = 0;
                        unsigned int buttons = 0;
                        if (XQueryPointer(display.get(), root, &rootReturn, &child, &rootX, &rootY, &winX, &winY,
                                          &buttons))
                            handler(rootX, rootY);
                    }
                }
                XFreeEventData(display.get(), cookie);
            }
            pollfd fds[2] = {{connection, POLLIN, 0}, {stopPipe.readEnd(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
            if (fds[1].revents) return;
            if (fds[0].revents & (POLLERR | POLLHUP)) return;
        }
    }
};

ClickWatcher::ClickWatcher(Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    // Without its stop pipe (no descriptors left) a watching thread could never be woken to end:
    // then the watcher does not start, and reports nothing.
    if (!impl_->stopPipe.made()) {
        impl_->report(false);
        return;
    }
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

ClickWatcher::~ClickWatcher() {
    impl_->stopPipe.wake();
    if (impl_->thread.joinable()) impl_->thread.join();
}

bool ClickWatcher::watching() const {
    std::unique_lock lock(impl_->mutex);
    impl_->known.wait(lock, [this] { return impl_->watching.has_value(); });
    return *impl_->watching;
}

}  // namespace qv::capture::x11
