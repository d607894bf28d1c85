#pragma once
// The capture of a camera beside the main one: the picture-in-picture camera and the document
// camera. It runs a session of its own, prepared on its own worker queue. A camera that already
// is the main camera cannot be opened a second time here: its frames are then taken from the
// main controller instead.
//
// Threads: create, prepare, stop and read it on the main thread; frameReady is emitted there.
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "capture/CameraController.h"
#include "capture/core/DeviceRecords.h"

namespace qv::gst {
class CameraSession;
}

namespace qv::capture {

class SerialQueue;

class SecondCamera : public QObject {
    Q_OBJECT
public:
    // Errors of these controllers have the main controller's cases.
    using CameraControllerError = capture::CameraControllerError;
    using Completion = std::function<void(std::optional<CameraControllerError>)>;

    // `queueLabel` names the worker queue, `formatLabel` starts the format line printed 10 s
    // after each configuration ("PIP Camera:").
    SecondCamera(std::optional<VemoCamera> camera, std::string queueLabel, QString formatLabel,
                 QObject* parent = nullptr);
    ~SecondCamera() override;

    // The camera the panels open: the one chosen for them, else the second of the main
    // controller's list, else none.
    static std::optional<VemoCamera> chooseCamera(const std::optional<VemoCamera>& chosen,
                                                  const CameraController* controller);

    std::optional<VemoCamera> curVemoCamera() const;
    // Builds and starts the session on the worker queue; the completion runs on the main thread
    // with noCamerasAvailable (no camera), inputsAreInvalid (the camera cannot be opened) or none.
    void prepare(Completion completion);
    // Stops the session at once (main thread).
    void stop();
    bool isRunning() const;
    // True while the frames come from the main camera's session.
    bool sharesMainCamera() const { return sharedMain_ != nullptr; }

    std::shared_ptr<const QImage> latestFrame() const;
    std::uint64_t framesReceived() const;

signals:
    // A new frame is waiting (at most one queued at a time).
    void frameReady();

protected:
    // Stops the session and waits for a preparation in progress: derived controllers call it
    // first thing in their destructor, so no hook below runs on a half-destroyed object.
    void shutdown();
    // The session's inputs for a camera: by default the camera's current format, no sound.
    virtual void chooseFormat(const VemoCamera& camera, DeviceFormatRef& format,
                              std::optional<FrameDuration>& minFrameDuration) const;
    // Every new frame, on the thread that has it (a streaming thread, or the main thread when the
    // frames come from the main camera).
    virtual void frameArrived(const std::shared_ptr<const QImage>& frame) {}

private:
    void configureCameraInput(const VemoCamera& camera);  // worker queue; throws
    void onSessionFrame();

    std::unique_ptr<SerialQueue> queue_;
    std::shared_ptr<gst::CameraSession> session_;
    QPointer<CameraController> sharedMain_;
    QString formatLabel_;
    mutable std::mutex mutex_;
    std::optional<VemoCamera> curVemoCamera_;
    std::atomic<bool> framePending_{false};
    std::atomic<bool> stopped_{false};
    std::string queueLabel_;
};

}  // namespace qv::capture
