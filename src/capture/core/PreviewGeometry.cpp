#include "capture/core/PreviewGeometry.h"

#include <algorithm>
#include <cmath>

namespace qv::capture {

namespace {
double zoomOf(const QRectF& frame) {
    return std::min(frame.width() / PreviewGeometry::referenceWidth, frame.height() / PreviewGeometry::referenceHeight);
}
}  // namespace

bool PreviewGeometry::fit(const QRectF& viewFrame) {
    const bool had = hasLayer_;
    if (had) {
        layerFrame_ = viewFrame;
        currentZoomFactor_ = zoomOf(layerFrame_);
    }
    fitZoomFactor_ = currentZoomFactor_;
    return had;
}

bool PreviewGeometry::setZoom(double f) {
    if (!hasLayer_) return false;
    const QRectF old = layerFrame_;
    const double w = referenceWidth * f;
    const double h = referenceHeight * f;
    layerFrame_ = QRectF(old.x() - (w - old.width()) / 2, old.y() - (h - old.height()) / 2, w, h);
    currentZoomFactor_ = zoomOf(layerFrame_);
    return true;
}

int PreviewGeometry::reducedDegrees(double rotation) {
    if (!std::isfinite(rotation)) return 0;
    const long long whole = static_cast<long long>(std::trunc(rotation));
    return static_cast<int>(((whole % 360) + 360) % 360);
}

bool PreviewGeometry::pan(bool ended, double dx, double dy, double rotation) {
    if (ended) {
        draggingStartRect_.reset();
        return false;
    }
    if (currentZoomFactor_ - fitZoomFactor_ < 0.1) return false;
    if (!hasLayer_) return false;
    if (!draggingStartRect_) draggingStartRect_ = layerFrame_;
    double ox, oy;
    switch (reducedDegrees(rotation)) {
        case 90: ox = dy; oy = dx; break;
        case 180: ox = -dx; oy = dy; break;
        case 270: ox = -dy; oy = -dx; break;
        default: ox = dx; oy = -dy; break;
    }
    layerFrame_ = draggingStartRect_->translated(ox, oy);
    return true;
}

}  // namespace qv::capture
