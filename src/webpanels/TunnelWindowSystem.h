#pragma once
// The window system behind window mirroring: pictures of other programs' windows and moving
// them. The bridge answers the page's requests for positive window numbers through it; while
// none is set, those windows have no picture and are not moved.
#include <QImage>
#include <QRect>

#include <cstdint>
#include <optional>

namespace qv::webpanels {

class TunnelWindowSystem {
public:
    virtual ~TunnelWindowSystem() = default;
    // The picture of one on-screen window of another program; none when it has none.
    virtual std::optional<QImage> windowPicture(std::uint32_t windowId) = 0;
    // Moves the real window out of the way of its picture.
    virtual void positionTunnel(std::uint32_t windowId) = 0;
    // Lays the real window over its picture; `rectInView` is in the whiteboard view's coordinates.
    virtual void controlTunnel(std::uint32_t windowId, const QRect& rectInView) = 0;
};

}  // namespace qv::webpanels
