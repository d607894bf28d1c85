#include "capture/CameraViewController.h"

#include <QWidget>

#include "state/AppState.h"
#include "state/QtPrint.h"
#include "capture/CameraController.h"
#include "capture/CameraPreviewView.h"

namespace qv::capture {

CameraViewController::CameraViewController(std::unique_ptr<DeviceProvider> provider, QObject* parent)
    : QObject(parent), cameraController_(new CameraController(std::move(provider), this)) {}

CameraViewController::~CameraViewController() = default;

QWidget* CameraViewController::view() {
    if (!view_) {
        loadView();
        viewDidLoad();
    }
    return view_;
}

void CameraViewController::loadView() { view_ = new QWidget; }

void CameraViewController::viewDidLoad() {
    app::sharedCameraViewController = this;
    app::sharedCameraController = cameraController_;

    previewView_ = new CameraPreviewView(view_);
    previewView_->setGeometry(0, 0, 1280, 720);
    previewView_->setFrameSize(QSizeF(1280, 720));
    rootSize_ = QSizeF(1280, 720);
    view_->resize(1280, 720);

    QPointer<CameraViewController> self(this);
    cameraController_->prepare([self](std::optional<CameraControllerError> error) {
        if (error) util::printLine(std::string(error->what()));
        if (!self || !self->previewView_) return;
        try {
            self->cameraController_->displayPreview(self->previewView_);
        } catch (const CameraControllerError&) {
            // No running session: the area keeps showing "Initializing ...".
        }
    });
}

void CameraViewController::setRootSize(const QSizeF& size) {
    rootSize_ = size;
    frameDidChange();
}

void CameraViewController::frameDidChange() {
    if (!previewView_ || !view_) return;
    // The preview widget covers the whole root view; its frame in the geometry's sense is the
    // root size, which the camera view swaps while the picture stands upright.
    if (previewView_->geometry() != view_->rect()) previewView_->setGeometry(view_->rect());
    if (previewView_->frameSize() == rootSize_) return;
    previewView_->setFrameSize(rootSize_);
    cameraController_->resizePreview(previewView_);
}

}  // namespace qv::capture
