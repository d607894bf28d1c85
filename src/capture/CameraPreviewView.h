#pragma once
// The view on which the main camera's live picture is painted. Its frame, in the sense of the
// preview geometry, is `frameRect()`: the widget's own origin with the size of the area the
// camera view gives it (width and height swapped while the picture is turned a quarter turn).
// The picture is painted into the controller's layer frame, then turned by the view's rotation
// about the centre and mirrored after that, as the camera view asks. The view tells the
// controller how many pixels it draws the picture with, so that the pipeline hands it frames
// already scaled to that size.
#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <memory>

class QVariantAnimation;

namespace qv::capture {

class CameraController;

class CameraPreviewView : public QWidget {
    Q_OBJECT
public:
    explicit CameraPreviewView(QWidget* parent = nullptr);

    void setController(CameraController* controller);
    QRectF frameRect() const { return QRectF(QPointF(pos()), frameSize_); }
    QSizeF frameSize() const { return frameSize_; }
    void setFrameSize(const QSizeF& size);
    void setOrientation(double rotation, bool mirrorHorizontal);

    // Frames painted since the view was made (each new camera frame counts once).
    std::uint64_t framesPainted() const { return framesPainted_; }

    // A zoom's change of the layer frame is eased in over this time, from the frame shown before;
    // a pan or a fit shows the new frame at once.
    static constexpr int zoomEaseMs = 250;
    void easeFrom(const QRectF& shownBefore);
    void stopEasing();
    // The layer frame drawn now (the controller's, or on the way to it while a zoom eases in).
    QRectF shownLayerFrame() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<CameraController> controller_;
    QSizeF frameSize_{1280, 720};
    double rotation_ = 0;
    bool mirrorHorizontal_ = false;
    qint64 lastFrame_ = 0;  // the cache key of the last frame painted
    QRectF easeFrom_;
    QPointer<QVariantAnimation> ease_;
    double easeProgress_ = 1.0;
    std::uint64_t framesPainted_ = 0;
};

}  // namespace qv::capture
