#include "capture/CameraPreviewView.h"

#include <QFont>
#include <QPainter>
#include <QRegion>
#include <QVariantAnimation>

#include <cmath>

#include "capture/CameraController.h"
#include "capture/core/SnapshotComposer.h"
#include "util/Print.h"

namespace qv::capture {

CameraPreviewView::CameraPreviewView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Gestures belong to the camera view around it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CameraPreviewView::setController(CameraController* controller) {
    if (controller_ == controller) return;
    if (controller_) disconnect(controller_, nullptr, this, nullptr);
    controller_ = controller;
    if (controller_) connect(controller_, &CameraController::previewFrameReady, this, qOverload<>(&QWidget::update));
    update();
}

void CameraPreviewView::setFrameSize(const QSizeF& size) {
    frameSize_ = size;
    update();
}

void CameraPreviewView::setOrientation(double rotation, bool mirrorHorizontal) {
    rotation_ = rotation;
    mirrorHorizontal_ = mirrorHorizontal;
    update();
}

void CameraPreviewView::easeFrom(const QRectF& shownBefore) {
    // A zoom while one eases continues from where the picture is now.
    const bool easing = ease_ && ease_->state() == QAbstractAnimation::Running;
    const QRectF start = easing ? shownLayerFrame() : shownBefore;
    stopEasing();
    easeFrom_ = start;
    easeProgress_ = 0.0;
    auto* animation = new QVariantAnimation(this);
    ease_ = animation;
    animation->setDuration(zoomEaseMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        easeProgress_ = v.toDouble();
        update();
    });
    connect(animation, &QVariantAnimation::finished, this, [this] {
        easeProgress_ = 1.0;
        update();
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void CameraPreviewView::stopEasing() {
    if (ease_) ease_->stop();
    ease_ = nullptr;
    easeProgress_ = 1.0;
    update();
}

QRectF CameraPreviewView::shownLayerFrame() const {
    if (!controller_ || !controller_->previewGeometry().hasLayer()) return {};
    const QRectF target = controller_->previewGeometry().layerFrame();
    if (easeProgress_ >= 1.0 || easeFrom_.isEmpty()) return target;
    const double t = easeProgress_;
    auto mix = [t](double a, double b) { return a + (b - a) * t; };
    return QRectF(mix(easeFrom_.x(), target.x()), mix(easeFrom_.y(), target.y()), mix(easeFrom_.width(), target.width()),
                  mix(easeFrom_.height(), target.height()));
}

void CameraPreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The frame is centred in the widget, turned about its centre, then mirrored.
    QTransform turn;
    turn.translate(width() / 2.0, height() / 2.0);
    if (mirrorHorizontal_) turn.scale(-1, 1);
    turn.rotate(rotation_);
    turn.translate(-frameSize_.width() / 2.0, -frameSize_.height() / 2.0);

    const std::shared_ptr<const QImage> frame = controller_ ? controller_->previewFrame() : nullptr;
    QRectF layer;
    const bool hasLayer = controller_ && controller_->previewGeometry().hasLayer();
    if (hasLayer) layer = shownLayerFrame();
    if (!frame || frame->isNull() || !hasLayer) {
        painter.fillRect(rect(), Qt::black);
        painter.setTransform(turn);
        QFont font = painter.font();
        font.setPointSize(26);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(QPointF(0, 0), frameSize_), Qt::AlignCenter, QStringLiteral("Initializing ..."));
        return;
    }
    // The layer frame has its origin at the bottom-left corner of the frame.
    const QRectF topLeft(layer.x(), frameSize_.height() - layer.y() - layer.height(), layer.width(), layer.height());
    // The geometry follows the camera's picture, whatever size the preview frame was scaled to.
    QSize sourceSize = controller_->previewSourceSize();
    if (sourceSize.isEmpty()) sourceSize = frame->size();
    const QRectF target = aspectFitRect(QSizeF(sourceSize), topLeft);
    // The pipeline scales the next frames to the pixels the picture is drawn at once any zoom has
    // eased there: one request per zoom, not one per step of the easing. A frame that already has
    // that size is drawn without a second, smoothing pass. It scales down to any size, and up as
    // long as the whole picture shows in the view (a camera smaller than the screen); a picture
    // zoomed past the view is drawn from the camera's own frames rather than from huge ones.
    const QRectF restLayer = controller_->previewGeometry().layerFrame();
    const QRectF rest(restLayer.x(), frameSize_.height() - restLayer.y() - restLayer.height(), restLayer.width(),
                      restLayer.height());
    const QSize drawn = (aspectFitRect(QSizeF(sourceSize), rest).size() * devicePixelRatioF()).toSize();
    const bool downscaled = drawn.width() < sourceSize.width() && drawn.height() < sourceSize.height();
    const QSize viewPixels = (QSizeF(size()) * devicePixelRatioF()).toSize();
    const bool wholeInView = drawn.width() <= viewPixels.width() && drawn.height() <= viewPixels.height();
    controller_->setPreviewFrameSize(downscaled || wholeInView ? drawn : QSize());
    const bool quarterTurn = qFuzzyIsNull(std::fmod(rotation_, 90.0));
    // Black only where the picture does not cover the view (quarter turns keep the picture a rectangle).
    const QRect covered = turn.mapRect(target).toAlignedRect().adjusted(1, 1, -1, -1);
    const QRegion uncovered =
        turn.isRotating() && !quarterTurn ? QRegion(rect()) : QRegion(rect()) - QRegion(covered);
    for (const QRect& band : uncovered) painter.fillRect(band, Qt::black);
    painter.setTransform(turn);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !(quarterTurn && frame->size() == drawn));
    painter.drawImage(target, *frame);
    // Frame pictures are reused once let go; the key changes whenever a new frame is written in.
    if (frame->cacheKey() != lastFrame_) {
        lastFrame_ = frame->cacheKey();
        // Start-up time is counted up to this line.
        if (++framesPainted_ == 1) util::printLine(std::string("First camera frame shown"));
    }
}

}  // namespace qv::capture
