#include "capture/SecondCamera.h"

#include <QCoreApplication>
#include <QTimer>

#include "state/AppState.h"
#include "state/QtPrint.h"
#include "capture/SerialQueue.h"
#include "capture/gst/CameraSession.h"

namespace qv::capture {

namespace {

template <typename F>
void onMain(F&& f) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f), Qt::QueuedConnection);
}

}  // namespace

SecondCamera::SecondCamera(std::optional<VemoCamera> camera, std::string queueLabel, QString formatLabel,
                           QObject* parent)
    : QObject(parent), formatLabel_(std::move(formatLabel)), curVemoCamera_(std::move(camera)),
      queueLabel_(std::move(queueLabel)) {
    session_ = std::make_shared<gst::CameraSession>([this] { onSessionFrame(); });
}

SecondCamera::~SecondCamera() { shutdown(); }

void SecondCamera::shutdown() {
    stopped_ = true;
    if (sharedMain_) disconnect(sharedMain_, nullptr, this, nullptr);
    session_->stop();  // no frame callback after this
    queue_.reset();       // lets a preparation in progress end
    session_->release();  // in case it started meanwhile; the pipeline goes with the controller
}

std::optional<VemoCamera> SecondCamera::chooseCamera(const std::optional<VemoCamera>& chosen,
                                                     const CameraController* controller) {
    if (!controller) return std::nullopt;
    if (chosen) return chosen;
    const auto cameras = controller->vemoCameras();
    if (cameras.size() >= 2) return cameras[1];
    return std::nullopt;
}

std::optional<VemoCamera> SecondCamera::curVemoCamera() const {
    std::lock_guard lock(mutex_);
    return curVemoCamera_;
}

void SecondCamera::chooseFormat(const VemoCamera&, DeviceFormatRef&, std::optional<FrameDuration>&) const {}

void SecondCamera::prepare(Completion completion) {
    stopped_ = false;
    const std::optional<VemoCamera> camera = curVemoCamera();
    CameraController* main = app::sharedCameraController;
    const std::optional<VemoCamera> mainCamera = main ? main->curVemoCamera() : std::nullopt;
    QPointer<SecondCamera> self(this);
    auto complete = [self, completion](std::optional<CameraControllerError> error) {
        onMain([self, completion, error] {
            if (self && completion) completion(error);
        });
    };
    if (camera && mainCamera && camera->uniqueID == mainCamera->uniqueID) {
        // The device is held by the main session: show its frames.
        sharedMain_ = main;
        connect(main, &CameraController::frameReady, this, [this] {
            if (!sharedMain_ || stopped_) return;
            frameArrived(sharedMain_->latestFrame());
            emit frameReady();
        });
        complete(std::nullopt);
        return;
    }
    queue_ = std::make_unique<SerialQueue>(queueLabel_);
    queue_->async([this, camera, complete] {
        if (!camera) return complete(CameraControllerError(CameraControllerError::noCamerasAvailable));
        try {
            configureCameraInput(*camera);
        } catch (const CameraControllerError& error) {
            return complete(error);
        }
        if (stopped_) return complete(std::nullopt);
        if (!session_->start()) return complete(CameraControllerError(CameraControllerError::inputsAreInvalid));
        if (stopped_) session_->stop();  // closed while it was starting
        complete(std::nullopt);
    });
}

void SecondCamera::configureCameraInput(const VemoCamera& camera) {
    gst::CameraSession::Inputs inputs;
    inputs.camera = camera.camera;
    chooseFormat(camera, inputs.format, inputs.minFrameDuration);
    const QString problem = session_->configure(inputs);
    if (!problem.isEmpty()) throw CameraControllerError(CameraControllerError::inputsAreInvalid, problem);
    {
        std::lock_guard lock(mutex_);
        curVemoCamera_ = camera;
    }
    // The format line follows 10 s later, also when the panel was closed in between.
    onMain([session = session_, label = formatLabel_] {
        QTimer::singleShot(10000, QCoreApplication::instance(),
                           [session, label] { util::printLine(label, session->activeFormatDescription()); });
    });
}

void SecondCamera::stop() {
    stopped_ = true;
    if (sharedMain_) {
        disconnect(sharedMain_, nullptr, this, nullptr);
        sharedMain_ = nullptr;
        return;
    }
    session_->stop();
}

bool SecondCamera::isRunning() const {
    if (sharedMain_) return !stopped_ && sharedMain_->isSessionRunning();
    return session_->isRunning();
}

std::shared_ptr<const QImage> SecondCamera::latestFrame() const {
    return sharedMain_ ? sharedMain_->latestFrame() : session_->latestFrame();
}

std::uint64_t SecondCamera::framesReceived() const { return session_->framesReceived(); }

void SecondCamera::onSessionFrame() {
    frameArrived(session_->latestFrame());
    if (framePending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            framePending_ = false;
            emit frameReady();
        },
        Qt::QueuedConnection);
}

}  // namespace qv::capture
