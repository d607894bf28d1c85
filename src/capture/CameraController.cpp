#include "capture/CameraController.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "state/AppState.h"
#include "state/Failures.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "capture/CameraPreviewView.h"
#include "capture/ScreenRecorder.h"
#include "capture/SerialQueue.h"
#include "capture/core/DeviceChoice.h"
#include "capture/gst/CameraSession.h"
#include "capture/gst/MovieRecording.h"
#include "capture/gst/DeviceProviders.h"

namespace qv::capture {

namespace {

const char* caseName(CameraControllerError::Case c) {
    switch (c) {
        case CameraControllerError::captureSessionAlreadyRunning: return "captureSessionAlreadyRunning";
        case CameraControllerError::captureSessionIsMissing: return "captureSessionIsMissing";
        case CameraControllerError::inputsAreInvalid: return "inputsAreInvalid";
        case CameraControllerError::invalidOperation: return "invalidOperation";
        case CameraControllerError::noCamerasAvailable: return "noCamerasAvailable";
        case CameraControllerError::noMicrophonesAvailable: return "noMicrophonesAvailable";
        case CameraControllerError::unknown: return "unknown";
    }
    return "unknown";
}

std::mutex g_hidStarterMutex;
CameraController::HIDLinkStarter g_hidStarter;

// Runs on the main thread after the current event, from any thread.
template <typename F>
void onMain(QObject* context, F&& f) {
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}

}  // namespace

CameraControllerError::CameraControllerError(Case c, const QString& detail)
    : std::runtime_error(detail.isEmpty() ? std::string("CameraControllerError.") + caseName(c)
                                          : std::string("CameraControllerError.") + caseName(c) + ": " + detail.toStdString()),
      value(c) {}

CameraController::CameraController(std::unique_ptr<DeviceProvider> provider, QObject* parent)
    : QObject(parent), provider_(provider ? std::move(provider) : gst::makeDeviceProvider()) {
    qRegisterMetaType<VemoCamera>();
    qRegisterMetaType<VemoMic>();
}

CameraController::~CameraController() {
    queue_.reset();    // finishes a set-up in progress
    session_.reset();  // stops the pipeline: no frame callback after this
}

// ---- lists and selections ----

std::vector<VemoCamera> CameraController::vemoCameras() const { return locked(vemoCameras_); }
std::vector<VemoMic> CameraController::vemoMics() const { return locked(vemoMics_); }
std::optional<VemoCamera> CameraController::curVemoCamera() const { return locked(curVemoCamera_); }
std::optional<VemoMic> CameraController::curVemoMic() const { return locked(curVemoMic_); }
std::optional<VemoCamera> CameraController::curPipCamera() const { return locked(curPipCamera_); }
std::optional<VemoCamera> CameraController::curDocCamera() const { return locked(curDocCamera_); }
void CameraController::setCurVemoCamera(std::optional<VemoCamera> camera) { store(curVemoCamera_, std::move(camera)); }
void CameraController::setCurVemoMic(std::optional<VemoMic> mic) { store(curVemoMic_, std::move(mic)); }
void CameraController::setCurPipCamera(std::optional<VemoCamera> camera) { store(curPipCamera_, std::move(camera)); }
void CameraController::setCurDocCamera(std::optional<VemoCamera> camera) { store(curDocCamera_, std::move(camera)); }

bool CameraController::isSessionRunning() const { return session_ && session_->isRunning(); }
std::shared_ptr<const QImage> CameraController::latestFrame() const {
    return session_ ? session_->latestFrame() : nullptr;
}
std::uint64_t CameraController::framesReceived() const { return session_ ? session_->framesReceived() : 0; }
std::uint64_t CameraController::framesCaptured() const { return session_ ? session_->framesCaptured() : 0; }
bool CameraController::hasSound() const { return session_ && session_->hasSound(); }

// ---- set-up ----

void CameraController::prepare(Completion completion) {
    if (!queue_) queue_ = std::make_unique<SerialQueue>("camera_controller");
    // A new session per set-up; frames wake the preview through at most one queued call.
    session_ = std::make_shared<gst::CameraSession>([this] { onFrameFromStream(); },
                                                    [this] { onPreviewFrameFromStream(); });
    session_->setPreviewSize(previewFrameSize_);
    const bool fullHD = app::isResolution1080;
    const bool ultraHD = app::isResolution4K;
    queue_->async([this, completion = std::move(completion), fullHD, ultraHD] { setUp(completion, fullHD, ultraHD); });
}

void CameraController::setUp(const Completion& completion, bool fullHD, bool ultraHD) {
    std::optional<CameraControllerError> failure;
    try {
        discoverDevices();
        util::printLine(describeList(vemoCameras()));
        util::printLine(describeList(vemoMics()));
        const auto cameras = vemoCameras();
        const auto mics = vemoMics();
        // Only virtual or nameless cameras were found: there is nothing to show.
        if (cameras.empty()) throw CameraControllerError(CameraControllerError::noCamerasAvailable);
        std::optional<VemoMic> mic;
        if (!mics.empty()) mic = mics.front();
        configureInputs(cameras.front(), mic, fullHD, ultraHD);
        startSession();
    } catch (const CameraControllerError& e) {
        failure = e;
    }
    if (completion) onMain(this, [completion, failure] { completion(failure); });
}

void CameraController::discoverDevices() {
    const std::vector<CaptureDeviceRef> videos = provider_->videoDevices();
    if (videos.empty()) throw CameraControllerError(CameraControllerError::noCamerasAvailable);
    std::vector<VemoCamera> cameras;
    for (const auto& device : videos) insertDiscoveredCamera(cameras, VemoCamera(device));
    {
        std::lock_guard lock(stateMutex_);
        vemoCameras_ = cameras;
    }
    std::vector<VemoMic> mics;
    for (const auto& device : provider_->audioDevices()) insertDiscoveredMic(mics, VemoMic(device));
    // A camera without a microphone still shows its picture; recordings then have no sound.
    if (mics.empty()) util::printLine(std::string("No microphone found: the camera runs without sound."));
    std::lock_guard lock(stateMutex_);
    vemoMics_ = mics;
}

void CameraController::configureInputs(const VemoCamera& camera, const std::optional<VemoMic>& mic, bool fullHD,
                                       bool ultraHD) {
    if (!session_) throw CameraControllerError(CameraControllerError::captureSessionIsMissing);
    gst::CameraSession::Inputs inputs;
    inputs.camera = camera.camera;
    if (mic) inputs.mic = mic->mic;
    const std::optional<FormatChoice> choice = chooseFormat(camera, fullHD, ultraHD);
    if (choice) {
        inputs.format = choice->format;
        inputs.minFrameDuration = choice->minFrameDuration;
    }
    // The old inputs go whatever happens next, so a failed configuration leaves nothing behind.
    const QString problem = session_->configure(inputs);
    if (!problem.isEmpty()) throw CameraControllerError(CameraControllerError::inputsAreInvalid, problem);
    {
        std::lock_guard lock(stateMutex_);
        if (mic) curVemoMic_ = mic;
        curVemoCamera_ = camera;
        activeFormat_ = choice ? choice->format : camera.camera->activeFormat();
    }
    app::post(app::notification::Camera_List_Ready);
    onMain(this, [this] { QTimer::singleShot(10000, this, [this] { printActiveFormat(); }); });
}

void CameraController::startSession() {
    if (!session_ || !session_->hasPipeline()) throw CameraControllerError(CameraControllerError::captureSessionIsMissing);
    if (!session_->start()) throw CameraControllerError(CameraControllerError::unknown, QStringLiteral("the camera did not start"));
    const std::optional<VemoCamera> camera = curVemoCamera();
    QVariantMap info;
    if (camera) info.insert(QStringLiteral("vemoCamera"), QVariant::fromValue(*camera));
    app::post(app::notification::CameraStarted, info);
    if (camera && camera->isQuorvane) {
        const VemoCamera own = *camera;
        onMain(this, [this, own] { QTimer::singleShot(1000, this, [this, own] { startHIDLink(own); }); });
    }
}

void CameraController::reconfigure() {
    const auto camera = curVemoCamera();
    if (!camera) return;
    reconfigure({*camera, curVemoMic(), app::isResolution1080, app::isResolution4K});
}

void CameraController::reconfigure(Selection selection) {
    {
        std::lock_guard lock(stateMutex_);
        curVemoCamera_ = selection.camera;
        if (selection.mic) curVemoMic_ = selection.mic;
    }
    if (!queue_ || !session_) return;  // not prepared yet: no session to apply it to
    const std::uint64_t request = ++reconfigureRequests_;
    queue_->async([this, selection = std::move(selection), request] {
        if (request != reconfigureRequests_.load()) return;  // a newer choice waits behind this one
        applySelection(selection);
    });
}

void CameraController::applySelection(const Selection& selection) {
    util::printLine(describeList(vemoCameras()));
    util::printLine(describeList(vemoMics()));
    if (vemoCameras().empty()) return;
    std::optional<VemoMic> mic;
    if (!vemoMics().empty()) mic = selection.mic;
    try {
        configureInputs(selection.camera, mic, selection.fullHD, selection.ultraHD);
        startSession();
    } catch (const CameraControllerError&) {
        // Dropped: the session stays stopped until the next choice.
    }
}

void CameraController::printActiveFormat() const {
    DeviceFormatRef format;
    {
        std::lock_guard lock(stateMutex_);
        format = activeFormat_;
    }
    if (!format) {
        util::printLine(std::string("Main Camera:"), std::string("none"));
        return;
    }
    util::printLine(std::string("Main Camera:"), format->mediaSubtype,
                    QStringLiteral("%1 x %2").arg(format->width).arg(format->height));
}

void CameraController::setHIDLinkStarter(HIDLinkStarter starter) {
    std::lock_guard lock(g_hidStarterMutex);
    g_hidStarter = std::move(starter);
}

void CameraController::startHIDLink(const VemoCamera& camera) {
    HIDLinkStarter starter;
    {
        std::lock_guard lock(g_hidStarterMutex);
        starter = g_hidStarter;
    }
    if (starter) starter(camera);
}

// ---- preview ----

void CameraController::onFrameFromStream() {
    if (framePending_.exchange(true)) return;
    onMain(this, [this] {
        framePending_ = false;
        emit frameReady();
    });
}

void CameraController::onPreviewFrameFromStream() {
    if (previewFramePending_.exchange(true)) return;
    onMain(this, [this] {
        previewFramePending_ = false;
        emit previewFrameReady();
    });
}

void CameraController::setPreviewFrameSize(const QSize& size) {
    if (size == previewFrameSize_) return;
    previewFrameSize_ = size;
    if (session_) session_->setPreviewSize(size);
}

std::optional<QRectF> CameraController::previewLayerFrame() const {
    if (!geometry_.hasLayer()) return std::nullopt;
    return geometry_.layerFrame();
}

void CameraController::displayPreview(CameraPreviewView* view) {
    if (!view) return;
    if (!isSessionRunning()) throw CameraControllerError(CameraControllerError::captureSessionIsMissing);
    geometry_.createLayer();
    previewView_ = view;
    view->setController(this);
    resizePreview(view);
}

void CameraController::resizePreview(CameraPreviewView* view) {
    geometry_.setCurrentZoomFactor(app::currentZoomFactor);
    if (previewView_) previewView_->stopEasing();
    const bool hasLayer = geometry_.fit(view ? view->frameRect() : QRectF());
    if (hasLayer) {
        app::currentZoomFactor = geometry_.currentZoomFactor();
        if (previewView_) previewView_->update();
        app::post(app::notification::Zoomed_CAMERA);
    }
}

void CameraController::setZoom(double factor) {
    const std::optional<QRectF> before = previewLayerFrame();
    if (!geometry_.setZoom(factor)) return;
    app::currentZoomFactor = geometry_.currentZoomFactor();
    // The frame itself changes at once (snapshots and pans read it); the picture eases there.
    if (previewView_ && before) previewView_->easeFrom(*before);
    app::post(app::notification::Zoomed_CAMERA);
}

void CameraController::panPreview(bool ended, double dx, double dy, double rotation) {
    geometry_.setCurrentZoomFactor(app::currentZoomFactor);
    if (geometry_.pan(ended, dx, dy, rotation) && previewView_) previewView_->stopEasing();
}

// ---- snapshots ----

QString CameraController::makeCaptureFileName(const QString& extension) {
    return capture::makeCaptureFileName(extension);
}

void CameraController::setSnapshotPictureProvider(std::shared_ptr<SnapshotPictureProvider> provider) {
    pictureProvider_ = std::move(provider);
}

void CameraController::setSnapshotContainer(QWidget* container) { snapshotContainer_ = container; }

QSizeF CameraController::defaultContainerSize() const {
    if (snapshotContainer_) return QSizeF(snapshotContainer_->size());
    if (previewView_) return QSizeF(previewView_->size());
    return QSizeF(PreviewGeometry::referenceWidth, PreviewGeometry::referenceHeight);
}

void CameraController::capturePhoto() {
    if (!isSessionRunning()) return;
    savePhoto(latestFrame());
}

void CameraController::savePhoto(std::shared_ptr<const QImage> photo) {
    const auto folders = app::folderLocations();
    if (!folders || folders->imagesFolderURL.isEmpty()) {
        showNoSaveFolderAlert();
        return;
    }
    const QString path = CaptureNameReservations::shared().reserve(folders->imagesFolderURL, QStringLiteral(".png"));
    if (!pictureProvider_) {
        composeSnapshot(std::nullopt, QString(), std::move(photo), path);
        return;
    }
    QPointer<CameraController> self(this);
    pictureProvider_->whiteboardPicture([self, photo, path](std::optional<QImage> board, QString error) {
        if (!self) {
            CaptureNameReservations::shared().release(path);
            return;
        }
        // A missing page picture leaves its layer out; the photo is still saved.
        if (!board)
            util::printLine(QStringLiteral("Snapshot without the whiteboard picture: ") +
                            (error.isEmpty() ? QStringLiteral("--") : error));
        self->composeSnapshot(std::move(board), error, photo, path);
    });
}

void CameraController::composeSnapshot(std::optional<QImage> board, const QString&, std::shared_ptr<const QImage> photo,
                                       const QString& path) {
    SnapshotLayers layers;
    if (!photo) util::printLine(std::string("Snapshot without the camera picture: no frame yet."));
    layers.photo = std::move(photo);
    layers.rotation = rotation;
    layers.mirrorHorizontal = mirrorHorizontal;
    layers.previewFrame = previewLayerFrame();
    if (layers.photo && !layers.previewFrame)
        util::printLine(std::string("Snapshot without the camera picture: no preview shown."));
    layers.containerSize = pictureProvider_ ? pictureProvider_->whiteboardContainerFrame().size() : defaultContainerSize();
    layers.boardImage = std::move(board);

    if (pictureProvider_ && pictureProvider_->isBrowserShown()) {
        SnapshotLayers::Browser browser;
        browser.containerFrame = pictureProvider_->browserContainerFrame();
        browser.opacity = pictureProvider_->browserOpacity();
        browser.invert = app::enableRemoveBackground && app::invertColor;
        layers.browser = browser;
        QPointer<CameraController> self(this);
        pictureProvider_->browserPicture([self, layers, path](std::optional<QImage> picture) mutable {
            if (!self) {
                CaptureNameReservations::shared().release(path);
                return;
            }
            self->composeSnapshotWithBrowser(std::move(picture), std::move(layers), path);
        });
        return;
    }
    writeSnapshot(std::move(layers), path);
}

void CameraController::composeSnapshotWithBrowser(std::optional<QImage> browser, SnapshotLayers layers, const QString& path) {
    if (browser) {
        layers.browser->image = std::move(*browser);
    } else {
        util::printLine(std::string("Snapshot without the browser picture: none could be had."));
        layers.browser.reset();
    }
    writeSnapshot(std::move(layers), path);
}

void CameraController::writeSnapshot(SnapshotLayers layers, const QString& path) {
    // Composition, PNG encoding and the write run off the main thread; the announcement comes back.
    QThreadPool::globalInstance()->start([layers = std::move(layers), path] {
        const QImage picture = capture::composeSnapshot(layers);
        if (picture.isNull()) {
            CaptureNameReservations::shared().release(path);
            util::printLine(std::string("Failed taking snapshot: the snapshot area is empty."));
            return;
        }
        const QString error = writePngFile(picture, path);
        CaptureNameReservations::shared().release(path);
        if (!error.isEmpty()) {
            // The teacher sees it: the picture is not on disk.
            app::reportFailureLater(QStringLiteral("Failed writing snapshot:"), path, error);
            return;
        }
        const QUrl url = QUrl::fromLocalFile(path);
        util::printLine(QStringLiteral("Took a snapshot at:"), url);
        app::post(app::notification::ImageCaptured,
                  {{QStringLiteral("image"), QVariant::fromValue(picture)}, {QStringLiteral("url"), QVariant::fromValue(url)}});
    });
}

}  // namespace qv::capture
