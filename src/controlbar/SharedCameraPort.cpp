#include "controlbar/SharedCameraPort.h"

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
};

}  // namespace

ControlBarModel::CameraProvider sharedCameraProvider() {
    auto port = std::make_shared<SharedCameraPort>();
    return [port]() -> CameraPort* { return port->controller() ? port.get() : nullptr; };
}

}  // namespace qv::controlbar
