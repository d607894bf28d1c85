#include "controlbar/SharedCameraPort.h"

#include <QObject>
#include <QPointer>

#include <memory>

#include "state/AppState.h"
#include "capture/CameraController.h"

namespace qv::controlbar {

namespace {

// Forwards to the published controller; the bar mirrors what the controller reports back.
class SharedCameraPort : public CameraPort {
public:
    capture::CameraController* controller() const { return app::sharedCameraController.data(); }

    void setZoom(double factor) override {
        if (auto* c = controller()) c->setZoom(factor);
    }
    bool isPaused() const override {
        auto* c = controller();
        return c && c->isPreviewFrozen();
    }
    void togglePause() override {
        if (auto* c = controller()) c->togglePause();
    }
    void capturePhoto() override {
        if (auto* c = controller()) c->capturePhoto();
    }
    bool startMovieRecording() override {
        auto* c = controller();
        if (!c) return false;
        if (!c->isMovieRecording()) c->startMovieRecording();
        return c->isMovieRecording();
    }
    bool startScreenRecording() override {
        auto* c = controller();
        if (!c) return false;
        if (!c->screenRecorder()) c->startScreenRecording();
        return c->screenRecorder() != nullptr;
    }
    void setRecordingFailedHandler(RecordingFailed handler) override {
        failed_ = std::move(handler);
        auto* c = controller();
        if (!c || c == heard_) return;
        heard_ = c;
        QObject::connect(c, &capture::CameraController::recordingFailed, &context_, [this](const QString& source) {
            if (failed_) failed_(source == QLatin1String("screen") ? Recording::Screen : Recording::Movie);
        });
    }
    void stopRecording() override {
        if (auto* c = controller()) c->stopRecording();
    }
    QString recordedDurationText() const override {
        auto* c = controller();
        return c ? c->recordedDurationText() : QString();
    }

    std::vector<CameraInfo> cameras() const override {
        std::vector<CameraInfo> out;
        if (auto* c = controller())
            for (const auto& camera : c->vemoCameras()) out.push_back({camera.isQuorvane, camera.isWendle});
        return out;
    }
    void setCurDocCamera(int index) override {
        auto* c = controller();
        if (!c) return;
        const auto cameras = c->vemoCameras();
        if (index >= 0 && index < int(cameras.size())) c->setCurDocCamera(cameras[std::size_t(index)]);
    }

    std::vector<QString> cameraNames() const override {
        std::vector<QString> out;
        if (auto* c = controller())
            for (const auto& camera : c->vemoCameras()) out.push_back(camera.description());
        return out;
    }
    std::vector<QString> microphoneNames() const override {
        std::vector<QString> out;
        if (auto* c = controller())
            for (const auto& mic : c->vemoMics()) out.push_back(mic.description());
        return out;
    }
    std::optional<QString> currentCameraName() const override {
        auto* c = controller();
        if (!c) return std::nullopt;
        const auto camera = c->curVemoCamera();
        if (!camera) return std::nullopt;
        return camera->description();
    }
    bool isCurrentCamera(int index) const override {
        auto* c = controller();
        if (!c) return false;
        const auto camera = entry(c->vemoCameras(), index);
        return camera && camera == c->curVemoCamera();
    }
    bool isCurrentMicrophone(int index) const override {
        auto* c = controller();
        if (!c) return false;
        const auto mic = entry(c->vemoMics(), index);
        return mic && mic == c->curVemoMic();
    }
    void useCamera(int index) override {
        auto* c = controller();
        if (!c) return;
        if (auto camera = entry(c->vemoCameras(), index))
            c->reconfigure({*camera, c->curVemoMic(), app::isResolution1080, app::isResolution4K});
    }
    void useMicrophone(int index) override {
        auto* c = controller();
        if (!c) return;
        const auto mic = entry(c->vemoMics(), index);
        const auto camera = c->curVemoCamera();
        if (!mic) return;
        if (camera)
            c->reconfigure({*camera, mic, app::isResolution1080, app::isResolution4K});
        else
            c->setCurVemoMic(mic);
    }
    void setPipCamera(int index) override {
        auto* c = controller();
        if (!c) return;
        if (auto camera = entry(c->vemoCameras(), index)) c->setCurPipCamera(*camera);
    }
    void reconfigure() override {
        if (auto* c = controller()) c->reconfigure();
    }

private:
    RecordingFailed failed_;
    QPointer<capture::CameraController> heard_;  // the controller whose failures reach failed_
    QObject context_;                            // ends the connection with the port

    template <typename T>
    static std::optional<T> entry(const std::vector<T>& list, int index) {
        if (index < 0 || index >= int(list.size())) return std::nullopt;
        return list[std::size_t(index)];
    }
};

}  // namespace

ControlBarModel::CameraProvider sharedCameraProvider() {
    auto port = std::make_shared<SharedCameraPort>();
    return [port]() -> CameraPort* { return port->controller() ? port.get() : nullptr; };
}

}  // namespace qv::controlbar
