#include "webpanels/x11/X11TunnelWindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>

#include <poll.h>
#include <unistd.h>

#include <QRect>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

namespace qv::webpanels::x11 {

namespace {

// ---- Errors ---------------------------------------------------------------------------------------
// A window can close between any two requests; the server then answers BadWindow (or BadMatch,
// BadDrawable). Xlib's default handler would end the program, so every connection of ours has its
// errors counted instead. The handler is process-wide: errors of other connections (the toolkit's)
// go on to the handler that was there before.

std::mutex gErrorsMutex;
std::map<Display*, int> gErrors;  // our connections and their error counts
std::atomic<XErrorHandler> gPreviousHandler{nullptr};

int countError(Display* display, XErrorEvent* event) {
    {
        std::lock_guard lock(gErrorsMutex);
        auto it = gErrors.find(display);
        if (it != gErrors.end()) {
            ++it->second;
            return 0;
        }
    }
    const XErrorHandler previous = gPreviousHandler.load();
    return previous ? previous(display, event) : 0;
}

// Puts our handler in place (again, should someone have replaced it since).
void installErrorHandler() {
    const XErrorHandler previous = XSetErrorHandler(countError);
    if (previous != countError) gPreviousHandler.store(previous);
}

int errorCount(Display* display) {
    std::lock_guard lock(gErrorsMutex);
    return gErrors[display];
}

// ---- Connection -------------------------------------------------------------------------------------

struct DisplayCloser {
    void operator()(Display* display) const {
        {
            std::lock_guard lock(gErrorsMutex);
            gErrors.erase(display);
        }
        XCloseDisplay(display);
    }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

template <typename T>
struct XFreer {
    void operator()(T* p) const {
        if (p) XFree(p);
    }
};

struct ImageDestroyer {
    void operator()(XImage* image) const {
        if (image) XDestroyImage(image);
    }
};

constexpr unsigned long kAllDesktops = 0xFFFFFFFFul;

// A window redirected off the screen for the first time has an empty picture where it was
// covered (or off the screen) until its program has drawn it again, which the redirection asks
// it to do. The listing waits for that drawing: until the window's program has drawn and then
// been quiet for a moment, for no longer than the most a listing waits.
using Clock = std::chrono::steady_clock;
constexpr auto kDrawingQuiet = std::chrono::milliseconds(60);
constexpr auto kDrawingWaitMost = std::chrono::milliseconds(1500);
constexpr long kSourcePager = 2;  // requests that come from a pager-like tool, on the user's behalf

struct Atoms {
    Atom clientListStacking, clientList, wmPid, wmDesktop, currentDesktop, wmName, utf8String, wmWindowType,
        typeNormal, typeDialog, wmState, stateHidden, activeWindow, moveResizeWindow, supportingWmCheck, supported;

    explicit Atoms(Display* d) {
        const char* names[] = {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST", "_NET_WM_PID", "_NET_WM_DESKTOP",
                               "_NET_CURRENT_DESKTOP", "_NET_WM_NAME", "UTF8_STRING", "_NET_WM_WINDOW_TYPE",
                               "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_STATE",
                               "_NET_WM_STATE_HIDDEN", "_NET_ACTIVE_WINDOW", "_NET_MOVERESIZE_WINDOW",
                               "_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED"};
        Atom atoms[std::size(names)];
        XInternAtoms(d, const_cast<char**>(names), int(std::size(names)), False, atoms);
        Atom* fields[] = {&clientListStacking, &clientList, &wmPid, &wmDesktop, &currentDesktop, &wmName, &utf8String,
                          &wmWindowType, &typeNormal, &typeDialog, &wmState, &stateHidden, &activeWindow,
                          &moveResizeWindow, &supportingWmCheck, &supported};
        for (std::size_t i = 0; i < std::size(fields); ++i) *fields[i] = atoms[i];
    }
};

// What the window manager (if any) does for us.
struct WindowManager {
    bool present = false;
    bool moveResize = false;  // _NET_MOVERESIZE_WINDOW
    bool activate = false;    // _NET_ACTIVE_WINDOW
};

class X11TunnelWindows : public TunnelWindowSystem {
public:
    explicit X11TunnelWindows(const QByteArray& displayName) {
        installErrorHandler();
        Display* display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
        if (!display) return;
        {
            std::lock_guard lock(gErrorsMutex);
            gErrors[display] = 0;
        }
        display_.reset(display);
        root_ = DefaultRootWindow(display);
        atoms_ = std::make_unique<Atoms>(display);
        int eventBase = 0, errorBase = 0, major = 0, minor = 2;
        composite_ = XCompositeQueryExtension(display, &eventBase, &errorBase) &&
                     XCompositeQueryVersion(display, &major, &minor) && (major > 0 || minor >= 2);
        int damageMajor = 1, damageMinor = 1;
        damage_ = XDamageQueryExtension(display, &damageEventBase_, &errorBase) &&
                  XDamageQueryVersion(display, &damageMajor, &damageMinor);
    }

    QString unavailableReason() const override {
        if (display_) return {};
        return QStringLiteral("Other programs' windows can only be shown on an X11 desktop; none was found.");
    }

    std::vector<TunnelWindowEntry> listWindows() override {
        std::vector<TunnelWindowEntry> list;
        std::optional<unsigned long> current;
        std::vector<Window> stack;
        {
            std::lock_guard lock(mutex_);
            if (!display_) return list;
            installErrorHandler();
            collectEvents();
            current = cardinal(root_, atoms_->currentDesktop);
            stack = stackFrontFirst();
        }
        const pid_t ownPid = getpid();
        // One window at a time, so that a picture for the page never waits for the whole list.
        struct Candidate {
            Window window;
            std::optional<unsigned long> pid;
        };
        std::vector<Candidate> candidates;
        for (const Window window : stack) {
            std::lock_guard lock(mutex_);
            installErrorHandler();
            const std::optional<unsigned long> pid = cardinal(window, atoms_->wmPid);
            if (pid && pid_t(*pid) == ownPid) continue;
            const std::optional<unsigned long> desktop = cardinal(window, atoms_->wmDesktop);
            if (desktop && current && *desktop != kAllDesktops && *desktop != *current) continue;
            if (!isNormal(window) || isHidden(window)) continue;
            XWindowAttributes attributes;
            if (!attributesOf(window, attributes) || attributes.map_state != IsViewable) continue;
            candidates.push_back({window, pid});
        }
        // Windows kept off the screen from now on draw into their new pictures first.
        std::vector<Window> fresh;
        if (composite_) {
            std::lock_guard lock(mutex_);
            installErrorHandler();
            const std::vector<std::pair<Window, QRect>> topLevels = topLevelsBottomFirst();
            for (const Candidate& candidate : candidates) {
                if (redirected_.count(candidate.window)) continue;
                if (redirectAndFollowDrawing(candidate.window, topLevels)) fresh.push_back(candidate.window);
            }
        }
        waitForDrawing(fresh);
        for (const Candidate& candidate : candidates) {
            std::lock_guard lock(mutex_);
            installErrorHandler();
            XWindowAttributes attributes;
            if (!attributesOf(candidate.window, attributes) || attributes.map_state != IsViewable) continue;
            std::optional<QImage> picture = pictureOf(candidate.window, attributes);
            if (!picture) continue;
            TunnelWindowEntry entry;
            entry.windowID = std::uint32_t(candidate.window);
            entry.name = nameOf(candidate.window);
            entry.bounds = boundsOf(candidate.window, attributes);
            entry.pid = candidate.pid ? qint64(*candidate.pid) : 0;
            entry.thumbnail = std::move(*picture);
            list.push_back(std::move(entry));
        }
        return list;
    }

    std::optional<QImage> windowPicture(std::uint32_t windowId) override {
        std::lock_guard lock(mutex_);
        if (!display_ || windowId == 0) return std::nullopt;
        installErrorHandler();
        XWindowAttributes attributes;
        if (!attributesOf(windowId, attributes) || attributes.map_state != IsViewable) return std::nullopt;
        std::optional<QImage> picture = pictureOf(windowId, attributes);
        // A followed window destroyed before the picture was taken: the picture is of whatever
        // window has its number now. (The server's answers above brought its destruction in.)
        collectEvents();
        if (destroyed_.count(windowId)) return std::nullopt;
        return picture;
    }

    bool watchWindow(std::uint32_t windowId, qint64 pid) override {
        std::lock_guard lock(mutex_);
        if (!display_ || windowId == 0) return false;
        installErrorHandler();
        collectEvents();
        // Its destruction is reported to this connection from now on.
        const int before = errorCount(d());
        XSelectInput(d(), windowId, StructureNotifyMask);
        if (!clean(before)) return false;  // gone already
        const std::optional<unsigned long> owner = cardinal(windowId, atoms_->wmPid);
        if (pid > 0 && owner && qint64(*owner) != pid) {
            XSelectInput(d(), windowId, NoEventMask);
            XSync(d(), False);
            return false;  // the number was given to another program's window meanwhile
        }
        destroyed_.erase(windowId);
        watched_.insert(windowId);
        return true;
    }

    bool windowDestroyed(std::uint32_t windowId) override {
        std::lock_guard lock(mutex_);
        if (!display_) return false;
        XSync(d(), False);
        collectEvents();
        return destroyed_.count(windowId) != 0;
    }

    void positionTunnel(std::uint32_t windowId) override {
        std::lock_guard lock(mutex_);
        if (!display_ || windowId == 0) return;
        installErrorHandler();
        XWindowAttributes attributes;
        if (!attributesOf(windowId, attributes) || attributes.map_state != IsViewable) return;
        collectEvents();
        if (destroyed_.count(windowId)) return;
        // Out of the way: its frame to the screen's top left corner, then made the active window.
        moveResize(windowId, QRect(-1, -1, 0, 0), /*frame=*/true);
        activate(windowId);
        XSync(display_.get(), False);
    }

    TunnelPlacement controlTunnel(std::uint32_t windowId, const QRect& rectOnScreen) override {
        std::lock_guard lock(mutex_);
        if (!display_ || windowId == 0) return TunnelPlacement::Ignored;
        installErrorHandler();
        XWindowAttributes attributes;
        if (!attributesOf(windowId, attributes) || attributes.map_state != IsViewable) return TunnelPlacement::WindowGone;
        collectEvents();
        if (destroyed_.count(windowId)) return TunnelPlacement::WindowGone;
        activate(windowId);
        // The window's own content (not its frame) exactly where its picture is.
        moveResize(windowId, rectOnScreen.isEmpty() ? QRect(rectOnScreen.topLeft(), QSize(1, 1)) : rectOnScreen,
                   /*frame=*/false);
        XSync(display_.get(), False);
        return TunnelPlacement::Placed;
    }

private:
    Display* d() const { return display_.get(); }

    // The events of the windows followed: their destruction ends them for good, whatever window
    // gets their number later. Other events are dropped, so the queue never grows.
    void collectEvents() {
        while (XPending(d()) > 0) {
            XEvent event;
            XNextEvent(d(), &event);
            if (damage_ && event.type == damageEventBase_ + XDamageNotify) {
                const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
                auto it = drawing_.find(notify.drawable);
                if (it == drawing_.end()) continue;
                it->second.lastDrawn = Clock::now();
                it->second.drawn = true;
                XDamageSubtract(d(), notify.damage, None, None);  // told again at its next drawing
                continue;
            }
            if (event.type != DestroyNotify) continue;
            const Window window = event.xdestroywindow.window;
            if (!watched_.erase(window)) continue;
            destroyed_.insert(window);
            redirected_.erase(window);
        }
    }

    // True when the request(s) since `before` raised no error (waits for the server's answers).
    bool clean(int before) {
        XSync(d(), False);
        return errorCount(d()) == before;
    }

    bool attributesOf(Window window, XWindowAttributes& attributes) {
        const int before = errorCount(d());
        const Status ok = XGetWindowAttributes(d(), window, &attributes);
        return ok && clean(before);
    }

    // A 32-bit property as a list of values (windows and cardinals alike); empty when absent.
    std::vector<unsigned long> longs(Window window, Atom property, Atom type) {
        Atom actualType = None;
        int actualFormat = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* raw = nullptr;
        const int before = errorCount(d());
        const int status = XGetWindowProperty(d(), window, property, 0, 1 << 16, False, type, &actualType,
                                              &actualFormat, &count, &remaining, &raw);
        std::unique_ptr<unsigned char, XFreer<unsigned char>> data(raw);
        if (status != Success || !clean(before) || actualType != type || actualFormat != 32 || !data) return {};
        // Xlib hands 32-bit items over as longs.
        const auto* values = reinterpret_cast<const unsigned long*>(data.get());
        return std::vector<unsigned long>(values, values + count);
    }

    std::optional<unsigned long> cardinal(Window window, Atom property) {
        const std::vector<unsigned long> values = longs(window, property, XA_CARDINAL);
        if (values.empty()) return std::nullopt;
        return values.front();
    }

    std::vector<Atom> atomList(Window window, Atom property) {
        const std::vector<unsigned long> values = longs(window, property, XA_ATOM);
        return std::vector<Atom>(values.begin(), values.end());
    }

    // Client windows, front first: the window manager's stacking list (bottom to top) reversed;
    // without a window manager, the mapped top-level windows.
    std::vector<Window> stackFrontFirst() {
        std::vector<unsigned long> stack = longs(root_, atoms_->clientListStacking, XA_WINDOW);
        if (stack.empty()) stack = longs(root_, atoms_->clientList, XA_WINDOW);
        std::vector<Window> windows(stack.begin(), stack.end());
        if (windows.empty() && !windowManager().present) {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            const int before = errorCount(d());
            if (XQueryTree(d(), root_, &rootReturn, &parent, &children, &count) && clean(before)) {
                std::unique_ptr<Window, XFreer<Window>> owned(children);
                for (unsigned int i = 0; i < count; ++i) {
                    XWindowAttributes attributes;
                    if (attributesOf(children[i], attributes) && attributes.c_class == InputOutput &&
                        !attributes.override_redirect && attributes.map_state == IsViewable)
                        windows.push_back(children[i]);
                }
            }
        }
        std::reverse(windows.begin(), windows.end());
        return windows;
    }

    // Normal windows and dialogs; docks, desktops, menus, tool palettes and the like are not for mirroring.
    bool isNormal(Window window) {
        const std::vector<Atom> types = atomList(window, atoms_->wmWindowType);
        if (types.empty()) return true;
        for (const Atom type : types) {
            if (type == atoms_->typeNormal || type == atoms_->typeDialog) return true;
        }
        return false;
    }

    bool isHidden(Window window) {
        const std::vector<Atom> states = atomList(window, atoms_->wmState);
        return std::find(states.begin(), states.end(), atoms_->stateHidden) != states.end();
    }

    QString nameOf(Window window) {
        // _NET_WM_NAME in UTF-8 first.
        Atom actualType = None;
        int actualFormat = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* raw = nullptr;
        int before = errorCount(d());
        const int status = XGetWindowProperty(d(), window, atoms_->wmName, 0, 1 << 16, False, atoms_->utf8String,
                                              &actualType, &actualFormat, &count, &remaining, &raw);
        std::unique_ptr<unsigned char, XFreer<unsigned char>> data(raw);
        if (status == Success && clean(before) && actualType == atoms_->utf8String && actualFormat == 8 && data)
            return QString::fromUtf8(reinterpret_cast<const char*>(data.get()), qsizetype(count));

        // Else WM_NAME, in whatever encoding it declares.
        XTextProperty text{};
        before = errorCount(d());
        if (!XGetWMName(d(), window, &text) || !clean(before) || !text.value) return {};
        std::unique_ptr<unsigned char, XFreer<unsigned char>> value(text.value);
        const auto* bytes = reinterpret_cast<const char*>(text.value);
        if (text.format != 8) return {};
        if (text.encoding == atoms_->utf8String) return QString::fromUtf8(bytes, qsizetype(text.nitems));
        if (text.encoding == XA_STRING) return QString::fromLatin1(bytes, qsizetype(text.nitems));
        char** list = nullptr;
        int listCount = 0;
        if (Xutf8TextPropertyToTextList(d(), &text, &list, &listCount) >= Success && list) {
            QString name = listCount > 0 ? QString::fromUtf8(list[0]) : QString();
            XFreeStringList(list);
            return name;
        }
        return QString::fromLatin1(bytes, qsizetype(text.nitems));
    }

    QRect boundsOf(Window window, const XWindowAttributes& attributes) {
        int x = attributes.x, y = attributes.y;
        Window child = 0;
        XTranslateCoordinates(d(), window, root_, 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }

    // ---- First redirection ----

    // The windows that are children of the root (frames, or windows without a window manager),
    // mapped, with their outer rectangles, bottom first.
    std::vector<std::pair<Window, QRect>> topLevelsBottomFirst() {
        std::vector<std::pair<Window, QRect>> windows;
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        const int before = errorCount(d());
        if (!XQueryTree(d(), root_, &rootReturn, &parent, &children, &count) || !clean(before))
            return windows;
        std::unique_ptr<Window, XFreer<Window>> owned(children);
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (!attributesOf(children[i], attributes) || attributes.map_state != IsViewable) continue;
            windows.emplace_back(
                children[i], QRect(attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                                   attributes.height + 2 * attributes.border_width));
        }
        return windows;
    }

    // The child of the root that holds `window` (its frame, or itself); 0 when it is gone.
    Window topLevelOf(Window window) {
        for (int depth = 0; depth < 16; ++depth) {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            const int before = errorCount(d());
            const Status ok = XQueryTree(d(), window, &rootReturn, &parent, &children, &count);
            std::unique_ptr<Window, XFreer<Window>> owned(children);
            if (!ok || !clean(before) || !parent) return 0;
            if (parent == root_) return window;
            window = parent;
        }
        return 0;
    }

    // True unless all of `window` shows on the screen: another window lies over part of it, or
    // part of it is off the screen.
    bool partlyHidden(Window window, const std::vector<std::pair<Window, QRect>>& topLevels) {
        XWindowAttributes attributes, rootAttributes;
        if (!attributesOf(window, attributes) || !attributesOf(root_, rootAttributes)) return true;
        const QRect bounds = boundsOf(window, attributes);
        if (!QRect(0, 0, rootAttributes.width, rootAttributes.height).contains(bounds)) return true;
        const Window top = topLevelOf(window);
        auto it = std::find_if(topLevels.begin(), topLevels.end(),
                               [&](const auto& entry) { return entry.first == top; });
        if (it == topLevels.end()) return true;
        return std::any_of(std::next(it), topLevels.end(),
                           [&](const auto& above) { return above.second.intersects(bounds); });
    }

    // Redirects `window` off the screen. True when its picture has parts its program must draw
    // again (it was partly hidden) and its drawing is followed from now on.
    bool redirectAndFollowDrawing(Window window, const std::vector<std::pair<Window, QRect>>& topLevels) {
        const bool hidden = damage_ && partlyHidden(window, topLevels);
        // Held still while it is redirected: what the redirection paints by itself is not the
        // program's drawing, and the program draws only once it is told afterwards.
        XGrabServer(d());
        int before = errorCount(d());
        const Damage damage = hidden ? XDamageCreate(d(), window, XDamageReportNonEmpty) : 0;
        XCompositeRedirectWindow(d(), window, CompositeRedirectAutomatic);
        XSync(d(), False);
        const bool ok = errorCount(d()) == before;
        if (ok) redirected_.insert(window);
        if (damage) {
            collectEvents();
            XDamageSubtract(d(), damage, None, None);
        }
        XUngrabServer(d());
        before = errorCount(d());
        XSync(d(), False);
        if (!ok || !damage) {
            if (damage) XDamageDestroy(d(), damage);
            XSync(d(), False);
            return false;
        }
        drawing_[window] = Drawing{damage};
        return true;
    }

    // Waits until each of `windows` has drawn and been quiet since, for at most kDrawingWaitMost,
    // holding the connection only to read it; then stops following their drawing.
    void waitForDrawing(const std::vector<Window>& windows) {
        if (windows.empty()) return;
        const Clock::time_point until = Clock::now() + kDrawingWaitMost;
        int fd = -1;
        for (;;) {
            bool done = true;
            {
                std::lock_guard lock(mutex_);
                if (!display_) return;
                fd = ConnectionNumber(d());
                collectEvents();
                const Clock::time_point now = Clock::now();
                for (const Window window : windows) {
                    auto it = drawing_.find(window);
                    if (it == drawing_.end() || destroyed_.count(window)) continue;
                    if (!it->second.drawn || now - it->second.lastDrawn < kDrawingQuiet) done = false;
                }
            }
            if (done || Clock::now() >= until) break;
            pollfd ready{fd, POLLIN, 0};
            poll(&ready, 1, 10);
        }
        std::lock_guard lock(mutex_);
        if (!display_) return;
        installErrorHandler();
        for (const Window window : windows) {
            auto it = drawing_.find(window);
            if (it == drawing_.end()) continue;
            XDamageDestroy(d(), it->second.damage);  // an error if the window went with it: counted
            drawing_.erase(it);
        }
        XSync(d(), False);
        collectEvents();
    }

    // ---- Pictures ----

    std::optional<QImage> pictureOf(Window window, const XWindowAttributes& attributes) {
        if (attributes.width <= 0 || attributes.height <= 0) return std::nullopt;
        if (composite_) {
            if (auto picture = compositePicture(window, attributes)) return picture;
        }
        return screenPicture(window, attributes);
    }

    // The window's own contents, also where other windows cover it or it leaves the screen.
    std::optional<QImage> compositePicture(Window window, const XWindowAttributes& attributes) {
        int before = errorCount(d());
        if (!redirected_.count(window)) {
            // Kept in an off-screen picture (still drawn on screen) for as long as we are connected.
            XCompositeRedirectWindow(d(), window, CompositeRedirectAutomatic);
            if (!clean(before)) return std::nullopt;
            redirected_.insert(window);
        }
        before = errorCount(d());
        const Pixmap pixmap = XCompositeNameWindowPixmap(d(), window);
        if (!clean(before) || !pixmap) {
            redirected_.erase(window);  // gone, or its number now names another window: redirect afresh
            return std::nullopt;
        }
        std::unique_ptr<XImage, ImageDestroyer> image(
            XGetImage(d(), pixmap, 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes, ZPixmap));
        const bool ok = clean(before) && image;
        XFreePixmap(d(), pixmap);
        XSync(d(), False);
        if (!ok) return std::nullopt;
        // A pixmap has no visual: its pixels are laid out as the window's.
        if (!image->red_mask && attributes.visual) {
            image->red_mask = attributes.visual->red_mask;
            image->green_mask = attributes.visual->green_mask;
            image->blue_mask = attributes.visual->blue_mask;
        }
        return toQImage(*image);
    }

    // What the screen shows of the window (parts off the screen stay black).
    std::optional<QImage> screenPicture(Window window, const XWindowAttributes& attributes) {
        const QRect bounds = boundsOf(window, attributes);
        XWindowAttributes rootAttributes;
        if (!attributesOf(root_, rootAttributes)) return std::nullopt;
        const QRect visible = bounds.intersected(QRect(0, 0, rootAttributes.width, rootAttributes.height));
        if (visible.isEmpty()) return std::nullopt;
        const int before = errorCount(d());
        std::unique_ptr<XImage, ImageDestroyer> image(XGetImage(d(), window, visible.x() - bounds.x(),
                                                                visible.y() - bounds.y(), unsigned(visible.width()),
                                                                unsigned(visible.height()), AllPlanes, ZPixmap));
        if (!clean(before) || !image) return std::nullopt;
        QImage picture(bounds.size(), QImage::Format_RGB32);
        picture.fill(Qt::black);
        const QImage part = toQImage(*image);
        for (int y = 0; y < part.height(); ++y)
            std::memcpy(picture.scanLine(visible.y() - bounds.y() + y) + (visible.x() - bounds.x()) * 4,
                        part.constScanLine(y), std::size_t(part.width()) * 4);
        return picture;
    }

    static int shiftOf(unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return shift;
    }

    static int channel(unsigned long pixel, unsigned long mask) {
        if (!mask) return 0;
        const unsigned long value = (pixel & mask) >> shiftOf(mask);
        const unsigned long max = mask >> shiftOf(mask);
        return int(value * 255 / max);
    }

    // Opaque RGB, whatever the window's pixel layout.
    static QImage toQImage(XImage& image) {
        QImage picture(image.width, image.height, QImage::Format_RGB32);
        const bool direct = image.bits_per_pixel == 32 && image.red_mask == 0xff0000 && image.green_mask == 0xff00 &&
                            image.blue_mask == 0xff &&
                            image.byte_order == (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? LSBFirst : MSBFirst);
        for (int y = 0; y < image.height; ++y) {
            auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
            if (direct) {
                const auto* in = reinterpret_cast<const std::uint32_t*>(image.data + std::ptrdiff_t(y) * image.bytes_per_line);
                for (int x = 0; x < image.width; ++x) out[x] = in[x] | 0xff000000u;
                continue;
            }
            for (int x = 0; x < image.width; ++x) {
                const unsigned long pixel = XGetPixel(&image, x, y);
                out[x] = qRgb(channel(pixel, image.red_mask), channel(pixel, image.green_mask),
                              channel(pixel, image.blue_mask));
            }
        }
        return picture;
    }

    // ---- Moving ----

    WindowManager windowManager() {
        WindowManager wm;
        const std::vector<unsigned long> check = longs(root_, atoms_->supportingWmCheck, XA_WINDOW);
        if (check.empty()) return wm;
        const std::vector<unsigned long> self = longs(Window(check.front()), atoms_->supportingWmCheck, XA_WINDOW);
        if (self.empty() || self.front() != check.front()) return wm;  // a stale check window
        wm.present = true;
        const std::vector<Atom> supported = atomList(root_, atoms_->supported);
        auto has = [&](Atom atom) { return std::find(supported.begin(), supported.end(), atom) != supported.end(); };
        wm.moveResize = has(atoms_->moveResizeWindow);
        wm.activate = has(atoms_->activeWindow);
        return wm;
    }

    void sendToRoot(Window window, Atom type, const long (&data)[5]) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = type;
        event.xclient.format = 32;
        for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
        XSendEvent(d(), root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }

    // `frame`: `rect` places the window's frame (its top left only); else the window's own content.
    void moveResize(Window window, const QRect& rect, bool frame) {
        const WindowManager wm = windowManager();
        if (wm.moveResize) {
            constexpr long northWest = NorthWestGravity, staticGravity = StaticGravity;
            const long flags = (1L << 8) | (1L << 9) | (frame ? 0 : (1L << 10) | (1L << 11));  // x, y[, width, height]
            const long gravity = frame ? northWest : staticGravity;
            sendToRoot(window, atoms_->moveResizeWindow,
                       {gravity | flags | (kSourcePager << 12), rect.x(), rect.y(), rect.width(), rect.height()});
            return;
        }
        // No window manager to ask (or one that does not take the request): plain requests.
        if (frame)
            XMoveWindow(d(), window, rect.x(), rect.y());
        else
            XMoveResizeWindow(d(), window, rect.x(), rect.y(), unsigned(rect.width()), unsigned(rect.height()));
    }

    void activate(Window window) {
        const WindowManager wm = windowManager();
        if (wm.activate) {
            sendToRoot(window, atoms_->activeWindow, {kSourcePager, CurrentTime, 0, 0, 0});
            return;
        }
        XRaiseWindow(d(), window);
        XSetInputFocus(d(), window, RevertToParent, CurrentTime);
    }

    std::mutex mutex_;
    DisplayPtr display_;
    Window root_ = 0;
    std::unique_ptr<Atoms> atoms_;
    bool composite_ = false;
    bool damage_ = false;
    int damageEventBase_ = 0;
    struct Drawing {
        Damage damage = 0;
        bool drawn = false;  // the program drew since the window was redirected
        Clock::time_point lastDrawn{};
    };
    std::map<Window, Drawing> drawing_;  // newly redirected windows whose drawing is awaited
    std::set<Window> redirected_;
    std::set<Window> watched_;    // followed windows that still exist
    std::set<Window> destroyed_;  // followed windows that were destroyed
};

}  // namespace

std::shared_ptr<TunnelWindowSystem> makeX11TunnelWindowSystem(const QByteArray& displayName) {
    return std::make_shared<X11TunnelWindows>(displayName);
}

}  // namespace qv::webpanels::x11
