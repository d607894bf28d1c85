// A test helper: another program with plain coloured windows of known titles, driven one command
// per line on standard input; each answer is one line on standard output.
//
//   open RRGGBB X Y W H DESKTOP KIND TITLE...  -> "opened <window id>" once the window is mapped
//        DESKTOP: -1 for none; KIND: "net" (_NET_WM_NAME and WM_NAME), "wm" (WM_NAME only),
//        "dock" (a dock, not a normal window), "drawn" (as "net", but the program paints the
//        colour itself, a little after each expose, as a busy program does; the server paints
//        nothing)
//   close ID                                   -> "closed"
//   geometry ID                                -> "<x> <y> <width> <height>" of the window's content
//                                                 on the screen, or "gone"
//   quit
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

namespace {

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

using Clock = std::chrono::steady_clock;
constexpr auto kDrawLate = std::chrono::milliseconds(200);

// The windows the program paints itself: their colour, and when the next painting is due.
struct Drawn {
    unsigned long rgb = 0;
    Clock::time_point due{};
    bool pending = false;
};
std::map<Window, Drawn> drawn;

void paint(Display* d, Window window, unsigned long rgb) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, window, &attributes)) return;
    GC gc = XCreateGC(d, window, 0, nullptr);
    XSetForeground(d, gc, rgb);
    XFillRectangle(d, window, gc, 0, 0, unsigned(attributes.width), unsigned(attributes.height));
    XFreeGC(d, gc);
}

// Takes in the events that arrived: an expose of a painted window asks for its painting.
void handleEvents(Display* d) {
    while (XPending(d)) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type != Expose) continue;
        auto it = drawn.find(event.xexpose.window);
        if (it == drawn.end() || it->second.pending) continue;
        it->second.pending = true;
        it->second.due = Clock::now() + kDrawLate;
    }
}

// Paints the windows whose painting is due; returns the milliseconds until the next one is (-1: none).
int paintDue(Display* d) {
    int next = -1;
    const auto now = Clock::now();
    for (auto& [window, state] : drawn) {
        if (!state.pending) continue;
        if (state.due <= now) {
            paint(d, window, state.rgb);
            state.pending = false;
            continue;
        }
        const int ms =
            int(std::chrono::duration_cast<std::chrono::milliseconds>(state.due - now).count()) + 1;
        next = next < 0 ? ms : std::min(next, ms);
    }
    XFlush(d);
    return next;
}

void setCardinal(Display* d, Window w, const char* name, unsigned long value) {
    XChangeProperty(d, w, XInternAtom(d, name, False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
}

Window open(Display* d, const std::string& colour, int x, int y, int w, int h, long desktop, const std::string& kind,
            const std::string& title) {
    const unsigned long rgb = std::strtoul(colour.c_str(), nullptr, 16);
    const bool painted = kind == "drawn";
    XSetWindowAttributes attributes{};
    attributes.background_pixel = rgb;  // 24-bit TrueColor: the pixel is the colour
    attributes.background_pixmap = None;
    attributes.event_mask = StructureNotifyMask | (painted ? ExposureMask : 0);
    const Window window =
        XCreateWindow(d, DefaultRootWindow(d), x, y, unsigned(w), unsigned(h), 0, CopyFromParent, InputOutput,
                      CopyFromParent, (painted ? CWBackPixmap : CWBackPixel) | CWEventMask, &attributes);
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = USPosition | USSize | PPosition | PSize;
    hints->x = x;
    hints->y = y;
    hints->width = w;
    hints->height = h;
    XSetWMNormalHints(d, window, hints);
    XFree(hints);
    XStoreName(d, window, title.c_str());
    if (kind != "wm")
        XChangeProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()), int(title.size()));
    if (kind == "dock") {
        Atom dock = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
        XChangeProperty(d, window, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&dock), 1);
    }
    setCardinal(d, window, "_NET_WM_PID", static_cast<unsigned long>(getpid()));
    if (desktop >= 0) setCardinal(d, window, "_NET_WM_DESKTOP", static_cast<unsigned long>(desktop));
    XMapWindow(d, window);
    // A window manager keeps a window of another desktop unmapped: taking it into a frame is all.
    XEvent event;
    do XWindowEvent(d, window, StructureNotifyMask, &event);
    while (event.type != MapNotify && !(desktop >= 0 && event.type == ReparentNotify));
    if (painted) {
        // Shown once it is painted the first time.
        do XWindowEvent(d, window, ExposureMask, &event);
        while (event.type != Expose);
        paint(d, window, rgb);
        drawn[window] = Drawn{rgb};
    }
    XSync(d, False);
    return window;
}

}  // namespace

int main() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::cerr << "colour-windows: no display\n";
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    std::string line;
    for (;;) {
        // Paints what is due while it waits for the next command.
        handleEvents(d);
        const bool buffered = std::cin.rdbuf()->in_avail() > 0;  // a command read in already
        pollfd fds[2] = {{0, POLLIN, 0}, {ConnectionNumber(d), POLLIN, 0}};
        if (!buffered) poll(fds, 2, paintDue(d));
        handleEvents(d);
        paintDue(d);
        if (!buffered && !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (!std::getline(std::cin, line)) break;
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "open") {
            std::string colour, kind, title;
            int x = 0, y = 0, w = 0, h = 0;
            long desktop = -1;
            in >> colour >> x >> y >> w >> h >> desktop >> kind;
            std::getline(in >> std::ws, title);
            std::cout << "opened " << open(d, colour, x, y, w, h, desktop, kind, title) << std::endl;
        } else if (command == "close") {
            unsigned long id = 0;
            in >> id;
            drawn.erase(Window(id));
            XDestroyWindow(d, Window(id));
            XSync(d, False);
            std::cout << "closed" << std::endl;
        } else if (command == "geometry") {
            unsigned long id = 0;
            in >> id;
            XWindowAttributes attributes;
            int x = 0, y = 0;
            Window child = 0;
            if (!XGetWindowAttributes(d, Window(id), &attributes) ||
                !XTranslateCoordinates(d, Window(id), DefaultRootWindow(d), 0, 0, &x, &y, &child))
                std::cout << "gone" << std::endl;
            else
                std::cout << x << ' ' << y << ' ' << attributes.width << ' ' << attributes.height << std::endl;
        } else if (command == "quit") {
            break;
        }
        handleEvents(d);  // keeps the event queue short
    }
    XCloseDisplay(d);
    return 0;
}
