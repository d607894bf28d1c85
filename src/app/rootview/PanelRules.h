#pragma once
// The geometry and gesture rules of the root view's movable panels, without widgets: the
// widgets only feed them their events and show the result. Sizes and displacements are in
// device-independent pixels; a displacement (dx, dy) moves a view right and down.
#include <QPointF>
#include <QSizeF>

#include <optional>

namespace qv::app {

// A drag that counts only after the pointer moved at least 10 away from where it went down.
class DragGate {
public:
    static constexpr double minimumDistance = 10.0;

    void press(QPointF position);
    // The translation since the press, once the drag has begun; nothing before that.
    std::optional<QPointF> move(QPointF position);
    // The final translation when the drag had begun; the gate is idle afterwards.
    std::optional<QPointF> release(QPointF position);
    bool active() const { return began_; }
    bool pressed() const { return pressed_; }

private:
    QPointF start_;
    bool pressed_ = false;
    bool began_ = false;
};

// A pinch that counts only once its magnification moved at least 0.01 away from 1.
class PinchGate {
public:
    static constexpr double minimumScaleChange = 0.01;

    std::optional<double> change(double magnification);
    // True when the pinch had begun; the gate is idle afterwards.
    bool end();
    bool active() const { return began_; }

private:
    bool began_ = false;
};

// The pinch on the camera area: the zoom factor at the pinch's start times the magnification's
// magnitude, limited to 0.5 .. 10.
class CameraPinch {
public:
    static constexpr double minZoom = 0.5;
    static constexpr double maxZoom = 10.0;

    // The factor to ask the camera for; nothing without a camera (the start is kept all the same).
    std::optional<double> changed(double magnification, double currentZoomFactor, bool hasCamera);
    void ended() { pinchGestureStart_.reset(); }
    std::optional<double> pinchGestureStart() const { return pinchGestureStart_; }

    // Ctrl + wheel: one wheel step (120 eighths of a degree) counts as a magnification of 1.1.
    static double wheelMagnification(int angleDelta);

private:
    std::optional<double> pinchGestureStart_;
};

// The picture in the side-by-side pane: displacement, pinch and double tap.
struct SideBySidePicture {
    double scale = 1.0;
    double lastScale = 1.0;
    QPointF viewState;

    // Each drag displaces the picture from its undisplaced place by the drag's own translation.
    void dragChanged(QPointF translation) { viewState = translation; }
    void pinchChanged(double magnification);
    void pinchEnded() { lastScale = scale; }
    // 2.0 from exactly 1.0, else back to 1.0; the picture returns to its place.
    void doubleTap();
    // A new picture: unzoomed, undisplaced.
    void reset();
};

// The browser panel's place and size: moved by dragging it, resized from its bottom-right corner.
struct BrowserPanelGeometry {
    static constexpr double resizeCorner = 32.0;
    static constexpr double edgeMargin = 100.0;
    // Smallest panel a resize leaves, so that the panel stays usable and its corner reachable.
    static constexpr double minimumWidth = 200.0;
    static constexpr double minimumHeight = 150.0;

    QPointF dragged{100, 100};
    QPointF accumulated{100, 100};
    bool isResizing = false;
    QSizeF frame{600, 500};
    QSizeF frameAccumulated{600, 500};
    QPointF location{0, 0};

    // `pointer` in the panel's own coordinates, `translation` since the drag began.
    void dragChanged(QPointF pointer, QPointF translation);
    // `window` is the window's content size at the drag's end.
    void dragEnded(QPointF translation, QSizeF window);
    // 0.5 s after the panel came on screen: two thirds of the window wide, 200 less than its
    // height, at (100, 100).
    void layoutAfterOpening(QSizeF window);

private:
    QSizeF resized(QPointF translation) const;
};

// The shared displacement of the picture-in-picture and document-camera windows.
struct FloatingCameraOffset {
    QPointF pipOffset;
    QPointF pipOffsetNew;

    void dragChanged(QPointF translation) { pipOffset = pipOffsetNew + translation; }
    void dragEnded(QPointF translation) {
        pipOffset = pipOffsetNew + translation;
        pipOffsetNew = pipOffset;
    }
};

// Fixed sizes of the floating camera windows.
struct FloatingCameraBox {
    static constexpr double width = 320;
    static constexpr double height = 180;
    static constexpr double padding = 20;
    static constexpr double closeSize = 32;
    static constexpr double closePadding = 10;
    // The document-camera window lies this much further up and left, out of sight.
    static constexpr QPointF docCameraDisplacement{-500, -500};
};

}  // namespace qv::app
