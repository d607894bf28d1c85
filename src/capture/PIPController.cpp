#include "capture/PIPController.h"

#include <QHideEvent>
#include <QPainter>

#include "state/AppState.h"
#include "state/QtPrint.h"
#include "capture/core/SnapshotComposer.h"

namespace qv::capture {

PIPController::PIPController(std::optional<VemoCamera> camera, QObject* parent)
    : SecondCamera(std::move(camera), "pip_controller", QStringLiteral("PIP Camera:"), parent) {}

PIPController::~PIPController() { shutdown(); }

void PIPController::displayPreview(QWidget* view) {
    if (!isRunning()) throw CameraControllerError(CameraControllerError::captureSessionIsMissing);
    if (auto* preview = qobject_cast<SecondCameraPreview*>(view)) preview->setCamera(this);
}

SecondCameraPreview::SecondCameraPreview(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SecondCameraPreview::setCamera(SecondCamera* camera) {
    if (camera_) disconnect(camera_, nullptr, this, nullptr);
    camera_ = camera;
    if (camera_) connect(camera_, &SecondCamera::frameReady, this, qOverload<>(&QWidget::update));
    update();
}

void SecondCameraPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const std::shared_ptr<const QImage> frame = camera_ ? camera_->latestFrame() : nullptr;
    if (!frame || frame->isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(aspectFitRect(QSizeF(frame->size()), QRectF(rect())), *frame);
    // Frame pictures are reused once let go; the key changes whenever a new frame is written in.
    if (frame->cacheKey() != lastFrame_) {
        lastFrame_ = frame->cacheKey();
        ++framesPainted_;
    }
}

PIPViewController::PIPViewController(QWidget* parent) : QWidget(parent) {
    resize(320, 240);
    previewView_ = new SecondCameraPreview(this);
    previewView_->setGeometry(0, 0, 320, 240);
    CameraController* main = app::sharedCameraController;
    pipController_ = std::make_unique<PIPController>(
        SecondCamera::chooseCamera(main ? main->curPipCamera() : std::nullopt, main));
    QPointer<PIPViewController> self(this);
    pipController_->prepare([self](std::optional<CameraControllerError> error) {
        if (error) util::printLine(QString::fromStdString(error->what()));
        if (!self || !self->pipController_) return;
        try {
            self->pipController_->displayPreview(self->previewView_);
        } catch (const CameraControllerError&) {
            // Nothing to show: the panel keeps what lies behind the preview.
        }
    });
}

PIPViewController::~PIPViewController() {
    if (pipController_) pipController_->stop();
}

void PIPViewController::resizeEvent(QResizeEvent*) {
    if (previewView_->size() != size()) previewView_->setGeometry(QRect(previewView_->pos(), size()));
}

void PIPViewController::hideEvent(QHideEvent* event) {
    if (event->spontaneous()) return;  // a minimized window keeps its panels
    if (pipController_) pipController_->stop();
    previewView_->setCamera(nullptr);
    pipController_.reset();
}

}  // namespace qv::capture
