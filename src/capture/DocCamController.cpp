#include "capture/DocCamController.h"

#include <QBuffer>
#include <QHideEvent>
#include <QPointer>

#include <mutex>

#include "state/AppState.h"
#include "state/QtPrint.h"

namespace qv::capture {

namespace {

std::mutex g_scriptRunnerMutex;
DocCamController::ScriptRunner g_scriptRunner;

// At most 33 frames per second: a frame lasts at least 1/33 s.
constexpr FrameDuration shortestDocCamFrame{1, 33};

}  // namespace

DocCamController::DocCamController(std::optional<VemoCamera> vemoCamera, QObject* parent)
    : SecondCamera(std::move(vemoCamera), "doccam_controller", QStringLiteral("Doc Camera:"), parent) {}

DocCamController::~DocCamController() { shutdown(); }

void DocCamController::setWhiteboardScriptRunner(ScriptRunner runner) {
    std::lock_guard lock(g_scriptRunnerMutex);
    g_scriptRunner = std::move(runner);
}

void DocCamController::prepare(Completion completion) {
    SecondCamera::prepare(std::move(completion));
    ScriptRunner runner;
    {
        std::lock_guard lock(g_scriptRunnerMutex);
        runner = g_scriptRunner;
    }
    if (runner) runner(QStringLiteral("showTunnelWindow(%1, '', 'Document Camera')").arg(docCamWindowNumber));
}

void DocCamController::chooseFormat(const VemoCamera& camera, DeviceFormatRef& format,
                                    std::optional<FrameDuration>& minFrameDuration) const {
    if (!camera.hdFmt) return;  // not one of the maker's cameras: the device keeps its format
    format = camera.hdFmt;
    if (camera.hdFps)
        minFrameDuration = compare(shortestDocCamFrame, camera.hdFps->minFrameDuration) >= 0
                               ? shortestDocCamFrame
                               : camera.hdFps->minFrameDuration;
}

void DocCamController::frameArrived(const std::shared_ptr<const QImage>& frame) {
    if (frame) app::setDocCamSampleBuffer(frame);
}

QString docCamFrameDataURL() {
    const std::shared_ptr<const QImage> frame = app::docCamSampleBuffer();
    if (!frame || frame->isNull()) return {};
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!frame->save(&buffer, "JPEG")) return {};
    return QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(jpeg.toBase64());
}

DocCamViewController::DocCamViewController(QWidget* parent) : QWidget(parent) {
    resize(320, 240);
    previewView_ = new QWidget(this);
    previewView_->setGeometry(0, 0, 320, 240);
    CameraController* main = app::sharedCameraController;
    docCamController_ = std::make_unique<DocCamController>(
        SecondCamera::chooseCamera(main ? main->curDocCamera() : std::nullopt, main));
    docCamController_->prepare([](std::optional<CameraControllerError> error) {
        if (error) util::printLine(QString::fromStdString(error->what()));
    });
}

DocCamViewController::~DocCamViewController() {
    if (docCamController_) docCamController_->stop();
}

void DocCamViewController::resizeEvent(QResizeEvent*) {
    if (previewView_->size() != size()) previewView_->setGeometry(QRect(previewView_->pos(), size()));
}

void DocCamViewController::hideEvent(QHideEvent* event) {
    if (event->spontaneous()) return;
    if (docCamController_) docCamController_->stop();
    docCamController_.reset();
}

}  // namespace qv::capture
