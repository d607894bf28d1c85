#pragma once
// The web panels' pictures for a composed snapshot: the whiteboard page published in
// whiteboardWebView and the frame of its container, and, while the browser panel is shown, the
// browsed page published in browserWebView at its place over the whiteboard.
#include "capture/SnapshotPictureProvider.h"

namespace qv::app {

class WhiteboardPictures : public capture::SnapshotPictureProvider {
public:
    void whiteboardPicture(BoardCompletion completion) override;
    QRectF whiteboardContainerFrame() const override;
    bool isBrowserShown() const override;
    QRectF browserContainerFrame() const override;
    double browserOpacity() const override;
    void browserPicture(BrowserCompletion completion) override;
};

}  // namespace qv::app
