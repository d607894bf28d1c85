#include "app/rootview/PanelRules.h"

#include <algorithm>
#include <cmath>

namespace qv::app {

void DragGate::press(QPointF position) {
    start_ = position;
    pressed_ = true;
    began_ = false;
}

std::optional<QPointF> DragGate::move(QPointF position) {
    if (!pressed_) return std::nullopt;
    const QPointF t = position - start_;
    if (!began_ && std::hypot(t.x(), t.y()) < minimumDistance) return std::nullopt;
    began_ = true;
    return t;
}

std::optional<QPointF> DragGate::release(QPointF position) {
    const bool began = began_;
    const QPointF t = position - start_;
    pressed_ = false;
    began_ = false;
    if (!began) return std::nullopt;
    return t;
}

std::optional<double> PinchGate::change(double magnification) {
    if (!began_ && std::abs(magnification - 1.0) < minimumScaleChange) return std::nullopt;
    began_ = true;
    return magnification;
}

bool PinchGate::end() {
    const bool began = began_;
    began_ = false;
    return began;
}

std::optional<double> CameraPinch::changed(double magnification, double currentZoomFactor, bool hasCamera) {
    if (!pinchGestureStart_) pinchGestureStart_ = currentZoomFactor;
    if (!hasCamera) return std::nullopt;
    return std::clamp(std::abs(magnification) * *pinchGestureStart_, minZoom, maxZoom);
}

double CameraPinch::wheelMagnification(int angleDelta) { return std::pow(1.1, angleDelta / 120.0); }

void SideBySidePicture::pinchChanged(double magnification) { scale = std::abs(magnification) * lastScale; }

void SideBySidePicture::doubleTap() {
    const double s = scale == 1.0 ? 2.0 : 1.0;
    scale = s;
    lastScale = s;
    viewState = QPointF();
}

void SideBySidePicture::reset() {
    viewState = QPointF();
    scale = 1.0;
    lastScale = 1.0;
}

QSizeF BrowserPanelGeometry::resized(QPointF t) const {
    return {std::max(minimumWidth, frameAccumulated.width() + t.x()),
            std::max(minimumHeight, frameAccumulated.height() + t.y())};
}

void BrowserPanelGeometry::dragChanged(QPointF p, QPointF t) {
    // Decided afresh on every change: within 32 of the right and the bottom edge resizes.
    if (location.x() + frame.width() - p.x() < resizeCorner && location.y() + frame.height() - p.y() < resizeCorner) {
        isResizing = true;
        frame = resized(t);
    } else {
        dragged = accumulated + t;
    }
}

void BrowserPanelGeometry::dragEnded(QPointF t, QSizeF window) {
    if (isResizing) {
        frame = resized(t);
        frame.setWidth(std::min(frame.width(), window.width() - edgeMargin));
        frame.setHeight(std::min(frame.height(), window.height() - edgeMargin));
        frameAccumulated = frame;
        isResizing = false;
        return;
    }
    dragged = accumulated + t;
    accumulated = dragged;
    // A move that ends beyond the left or top edge snaps back to it.
    if (dragged.x() < 0) {
        dragged.setX(0);
        accumulated.setX(0);
    }
    if (dragged.y() < 0) {
        dragged.setY(0);
        accumulated.setY(0);
    }
}

void BrowserPanelGeometry::layoutAfterOpening(QSizeF window) {
    frame = QSizeF(window.width() / 1.5, window.height() - 200);
    frameAccumulated = frame;
    dragged = QPointF(100, 100);
    accumulated = QPointF(100, 100);
}

}  // namespace qv::app
