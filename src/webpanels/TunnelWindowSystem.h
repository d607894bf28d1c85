#pragma once
// The window system behind window mirroring: the list of other programs' windows, their
// pictures, and moving them. The picker lists through it and the bridge answers the page's
// requests for positive window numbers through it; while none is set, there are no windows to
// pick, those windows have no picture and are not moved.
//
// Implementations may be called from any thread (the picker lists on a worker thread); they
// serialise their own work.
#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace qv::webpanels {

// One window that can be mirrored, as listed.
struct TunnelWindowEntry {
    std::uint32_t windowID = 0;
    QString name;       // empty when the window has none
    QRect bounds;       // on the screen, in the window system's pixels
    qint64 pid = 0;     // owning process; 0 when unknown
    QImage thumbnail;   // the window's picture at listing time, at its own pixel size
};

// What became of a request to lay a window over its picture.
enum class TunnelPlacement {
    Placed,      // the window was found and asked to move (the window system may still refuse)
    WindowGone,  // no such window on screen: it was closed or minimised
    Ignored,     // nothing was done (no window system, or not a window the page may move)
};

class TunnelWindowSystem {
public:
    virtual ~TunnelWindowSystem() = default;
    // Why windows cannot be listed at all on this desktop; empty when they can.
    virtual QString unavailableReason() const { return {}; }
    // Other programs' normal windows on the current desktop, front first; each with a picture
    // (windows that give none are left out).
    virtual std::vector<TunnelWindowEntry> listWindows() = 0;
    // The picture of one on-screen window of another program; none when it has none.
    virtual std::optional<QImage> windowPicture(std::uint32_t windowId) = 0;
    // Moves the real window out of the way of its picture and makes it the active window.
    virtual void positionTunnel(std::uint32_t windowId) = 0;
    // Activates the real window and lays it over its picture: `rectOnScreen` is where the
    // picture is, in the window system's pixels, origin at the top left of the screen.
    virtual TunnelPlacement controlTunnel(std::uint32_t windowId, const QRect& rectOnScreen) = 0;

    // Window numbers are reused: once a window is destroyed, the next program may get its number.
    // Follows the window that has this number now, so that its end is known; false when it is
    // gone already or its number now names a window of another process than `pid` (0: unknown).
    // A window system that cannot tell follows nothing and says yes.
    virtual bool watchWindow(std::uint32_t windowId, qint64 pid) {
        (void)windowId;
        (void)pid;
        return true;
    }
    // True once a followed window was destroyed (whatever its number names since).
    virtual bool windowDestroyed(std::uint32_t windowId) {
        (void)windowId;
        return false;
    }
};

}  // namespace qv::webpanels
