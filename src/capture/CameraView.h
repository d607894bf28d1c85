#pragma once
// The main camera's area of the window: the live picture (hosted by a CameraViewController),
// turned and mirrored as the control bar asks, with drags and pinches on the picture becoming
// pan and zoom requests to the camera controller. The Wendle edition shows its start-up picture
// over it for 2.0 s.
//
// The root view creates one CameraView: `new qv::capture::CameraView(parent)`. It creates the
// CameraViewController, which creates the CameraController and publishes both.
#include <QPointF>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <memory>
#include <optional>

#include "capture/core/DeviceProvider.h"

class QLabel;

namespace qv::annotation {
class AnnotationView;
}

namespace qv::capture {

class CameraViewController;

class CameraView : public QWidget {
    Q_OBJECT
public:
    explicit CameraView(QWidget* parent = nullptr, std::unique_ptr<DeviceProvider> provider = nullptr);
    ~CameraView() override;

    CameraViewController* viewController() const { return controllerRep_; }

    double rotation() const { return rotation_; }
    bool mirrorHorizontal() const { return mirrorHorizontal_; }
    bool isVertical() const { return isVertical_; }
    bool showSplash() const { return showSplash_; }
    double digitalZoomFactor() const { return digitalZoomFactor_; }
    annotation::AnnotationView* annotationView() const { return annotationView_.get(); }

    // Notification handlers.
    void rotateCamera(const QVariantMap& userInfo);
    void mirrorCamera();
    void zoomed();

    // Gesture steps: translation since the drag began; scale since the pinch began.
    void dragChanged(const QPointF& translation);
    void dragEnded();
    void magnificationChanged(double magnification);
    void magnificationEnded();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void layoutPreview();
    void showSplashPicture();

    double rotation_ = 0.0;
    bool mirrorHorizontal_ = false;
    bool isVertical_ = false;
    bool showSplash_ = true;
    std::optional<double> pinchGestureStart_;
    CameraViewController* controllerRep_;
    std::unique_ptr<annotation::AnnotationView> annotationView_;  // kept, never placed
    double digitalZoomFactor_ = 1.0;

    QPointer<QLabel> splash_;
    std::optional<QPointF> dragOrigin_;
    bool dragging_ = false;
    double nativeMagnification_ = 1.0;
};

}  // namespace qv::capture
