#pragma once
// The web panels' pictures for a composed snapshot: the whiteboard page published in
// whiteboardWebView and the frame of its container. The browser panel has no picture to give yet.
#include "capture/SnapshotPictureProvider.h"

namespace qv::app {

class WhiteboardPictures : public capture::SnapshotPictureProvider {
public:
    void whiteboardPicture(BoardCompletion completion) override;
    QRectF whiteboardContainerFrame() const override;
    bool isBrowserShown() const override { return false; }
    QRectF browserContainerFrame() const override { return {}; }
    double browserOpacity() const override { return 1.0; }
    void browserPicture(BrowserCompletion completion) override { completion(std::nullopt); }
};

}  // namespace qv::app
