#pragma once
// Where the live picture lies inside the preview view: fitted to the view, scaled about its
// centre, moved by drags while zoomed in. Frames use the preview view's coordinates with the
// origin at the bottom-left corner and y growing upwards (as the snapshot composition does);
// CameraPreviewView turns them into widget coordinates when it paints.
#include <QRectF>

#include <optional>

namespace qv::capture {

class PreviewGeometry {
public:
    // 1280 x 720 points is zoom factor 1.0.
    static constexpr double referenceWidth = 1280.0;
    static constexpr double referenceHeight = 720.0;

    bool hasLayer() const { return hasLayer_; }
    // The picture's layer exists from the first display on.
    void createLayer() { hasLayer_ = true; }

    QRectF layerFrame() const { return layerFrame_; }
    double currentZoomFactor() const { return currentZoomFactor_; }
    double fitZoomFactor() const { return fitZoomFactor_; }
    std::optional<QRectF> draggingStartRect() const { return draggingStartRect_; }
    void clearDraggingStartRect() { draggingStartRect_.reset(); }

    // Fits the layer to the view's frame. Returns true when the layer exists (the caller then
    // announces the new zoom factor). The fit factor follows the zoom factor in every case.
    bool fit(const QRectF& viewFrame);
    // Resizes the layer to 1280 f x 720 f about its current centre. False without a layer.
    bool setZoom(double factor);
    // Moves the layer from its start-of-drag frame by (dx, dy) (points, y down) turned into the
    // layer's coordinates for the view's rotation. True when the layer moved.
    bool pan(bool ended, double dx, double dy, double rotation);

    // The rotation reduced to whole degrees in 0...359 (truncated toward zero first).
    static int reducedDegrees(double rotation);

    // For tests and the current-zoom mirror: sets the zoom factor without touching the layer.
    void setCurrentZoomFactor(double f) { currentZoomFactor_ = f; }

private:
    bool hasLayer_ = false;
    QRectF layerFrame_;
    double currentZoomFactor_ = 1.0;
    double fitZoomFactor_ = 1.0;
    std::optional<QRectF> draggingStartRect_;
};

}  // namespace qv::capture
