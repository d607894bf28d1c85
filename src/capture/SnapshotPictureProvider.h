#pragma once
// What a snapshot needs of the web panels: the whiteboard page's picture with the frame of its
// container, and, while the browser panel is shown, the browsed page's picture with the panel's
// place and opacity. The web panels install one provider on the camera controller; until then a
// snapshot is the camera photo alone, in the camera view's area.
//
// Everything is called on the main thread; the completions must be called on the main thread too,
// exactly once each (with no picture and an error text when none can be had).
#include <QImage>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>

namespace qv::capture {

class SnapshotPictureProvider {
public:
    virtual ~SnapshotPictureProvider() = default;

    using BoardCompletion = std::function<void(std::optional<QImage> picture, QString error)>;
    using BrowserCompletion = std::function<void(std::optional<QImage> picture)>;

    // The whiteboard page as shown, and its container's frame (the snapshot's size, in points).
    virtual void whiteboardPicture(BoardCompletion completion) = 0;
    virtual QRectF whiteboardContainerFrame() const = 0;

    // The browser panel: shown or not, its container's frame (top-left coordinates of the
    // whiteboard container), its opacity, and its page picture.
    virtual bool isBrowserShown() const = 0;
    virtual QRectF browserContainerFrame() const = 0;
    virtual double browserOpacity() const = 0;
    virtual void browserPicture(BrowserCompletion completion) = 0;
};

}  // namespace qv::capture
