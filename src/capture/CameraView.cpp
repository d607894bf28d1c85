#include "capture/CameraView.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPropertyAnimation>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "annotation/AnnotationView.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Resources.h"
#include "state/Notifications.h"
#include "capture/CameraController.h"
#include "capture/CameraPreviewView.h"
#include "capture/CameraViewController.h"

namespace qv::capture {

namespace {
constexpr double dragMinimumDistance = 10.0;

QString splashPath() { return app::resourcePath(QStringLiteral("splash_wendle.png")); }
}  // namespace

CameraView::CameraView(QWidget* parent, std::unique_ptr<DeviceProvider> provider)
    : QWidget(parent),
      controllerRep_(new CameraViewController(std::move(provider), this)),
      annotationView_(std::make_unique<annotation::AnnotationView>()) {
    setAttribute(Qt::WA_AcceptTouchEvents);
    QWidget* root = controllerRep_->view();
    root->setParent(this);
    root->setAttribute(Qt::WA_TransparentForMouseEvents);
    controllerRep_->cameraController()->setSnapshotContainer(this);

    auto& center = app::NotificationCenter::defaultCenter();
    center.addObserver(this, app::notification::ROTATE_CAMERA,
                       [this](const app::Notification& n) { rotateCamera(n.userInfo); });
    center.addObserver(this, app::notification::Mirror_CAMERA, [this](const app::Notification&) { mirrorCamera(); });
    center.addObserver(this, app::notification::Zoomed_CAMERA, [this](const app::Notification&) { zoomed(); });
    layoutPreview();
}

CameraView::~CameraView() = default;

void CameraView::rotateCamera(const QVariantMap& userInfo) {
    const auto it = userInfo.constFind(QStringLiteral("direction"));
    if (it != userInfo.constEnd() && it->typeId() == QMetaType::QString) {
        const QString direction = it->toString();
        if (direction == QLatin1String("left")) rotation_ += mirrorHorizontal_ ? 90 : -90;
        else if (direction == QLatin1String("right")) rotation_ += mirrorHorizontal_ ? -90 : 90;
        if (app::sharedCameraController) app::sharedCameraController->rotation = rotation_;
    }
    const double reduced = std::fmod(std::fmod(rotation_, 360.0) + 360.0, 360.0);
    isVertical_ = reduced == 90 || reduced == 270;
    layoutPreview();
}

void CameraView::mirrorCamera() {
    mirrorHorizontal_ = !mirrorHorizontal_;
    if (app::sharedCameraController) app::sharedCameraController->mirrorHorizontal = mirrorHorizontal_;
    layoutPreview();
}

void CameraView::zoomed() { digitalZoomFactor_ = app::currentZoomFactor; }

void CameraView::dragChanged(const QPointF& translation) {
    double tx = translation.x();
    if (mirrorHorizontal_) tx = -tx;
    if (app::sharedCameraController) app::sharedCameraController->panPreview(false, tx, translation.y(), rotation_);
}

void CameraView::dragEnded() {
    if (app::sharedCameraController) app::sharedCameraController->clearDraggingStartRect();
}

void CameraView::magnificationChanged(double magnification) {
    if (!pinchGestureStart_) pinchGestureStart_ = app::currentZoomFactor;
    const double factor = std::clamp(std::abs(magnification) * *pinchGestureStart_, 0.5, 10.0);
    if (app::sharedCameraController) app::sharedCameraController->setZoom(factor);
}

void CameraView::magnificationEnded() { pinchGestureStart_.reset(); }

void CameraView::layoutPreview() {
    QWidget* root = controllerRep_->view();
    root->setGeometry(rect());
    if (auto* preview = controllerRep_->previewView()) preview->setOrientation(rotation_, mirrorHorizontal_);
    const QSizeF area(size());
    controllerRep_->setRootSize(isVertical_ ? area.transposed() : area);
    if (splash_) splash_->setGeometry((width() - 1280) / 2, (height() - 720) / 2, 1280, 720);
}

void CameraView::resizeEvent(QResizeEvent*) { layoutPreview(); }

void CameraView::showEvent(QShowEvent*) {
    if (app::isWendleEdition() && showSplash_ && !splash_) showSplashPicture();
}

void CameraView::showSplashPicture() {
    QPixmap picture(splashPath());
    if (picture.isNull()) return;
    splash_ = new QLabel(this);
    splash_->setPixmap(picture);
    splash_->setScaledContents(true);
    splash_->setAttribute(Qt::WA_TransparentForMouseEvents);
    splash_->show();
    layoutPreview();
    QTimer::singleShot(2000, this, [this] {
        showSplash_ = false;
        if (!splash_) return;
        // Removed with a short fade, as views leave by default.
        auto* fade = new QGraphicsOpacityEffect(splash_);
        splash_->setGraphicsEffect(fade);
        auto* animation = new QPropertyAnimation(fade, "opacity", splash_);
        animation->setDuration(250);
        animation->setStartValue(1.0);
        animation->setEndValue(0.0);
        connect(animation, &QPropertyAnimation::finished, splash_, &QObject::deleteLater);
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    });
}

void CameraView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragOrigin_ = event->position();
    dragging_ = false;
}

void CameraView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragOrigin_) return QWidget::mouseMoveEvent(event);
    const QPointF translation = event->position() - *dragOrigin_;
    if (!dragging_ && std::hypot(translation.x(), translation.y()) < dragMinimumDistance) return;
    dragging_ = true;
    dragChanged(translation);
}

void CameraView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragOrigin_) return QWidget::mouseReleaseEvent(event);
    if (dragging_) dragEnded();
    dragOrigin_.reset();
    dragging_ = false;
}

bool CameraView::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        switch (gesture->gestureType()) {
            case Qt::BeginNativeGesture: nativeMagnification_ = 1.0; break;
            case Qt::ZoomNativeGesture:
                nativeMagnification_ += gesture->value();
                if (std::abs(nativeMagnification_ - 1.0) >= 0.01) magnificationChanged(nativeMagnification_);
                break;
            case Qt::EndNativeGesture: magnificationEnded(); break;
            default: break;
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace qv::capture
