#pragma once
// What the control bar asks of the main camera. The program's implementation forwards to the
// controller published in `sharedCameraController`; tests give the bar one of their own.
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace qv::controlbar {

class CameraPort {
public:
    struct CameraInfo {
        bool isQuorvane = false;
        bool isWendle = false;
    };

    virtual ~CameraPort() = default;

    virtual void setZoom(double factor) = 0;
    // The live picture is frozen (and a running recording paused).
    virtual bool isPaused() const = 0;
    virtual void togglePause() = 0;
    // Takes a snapshot when the capture session runs; otherwise nothing.
    virtual void capturePhoto() = 0;
    enum class Recording { Movie, Screen };
    // Each returns whether a recording really started.
    virtual bool startMovieRecording() = 0;
    virtual bool startScreenRecording() = 0;
    // Who hears, on the main thread, that a recording reported as started ended with an error
    // before it was stopped (it could not start writing after all, or broke off). The capture
    // code has shown the failure by then.
    using RecordingFailed = std::function<void(Recording what)>;
    virtual void setRecordingFailedHandler(RecordingFailed handler) = 0;
    virtual void stopRecording() = 0;
    virtual QString recordedDurationText() const = 0;
    // The cameras found, in the controller's order, and the choice of the document camera.
    virtual std::vector<CameraInfo> cameras() const = 0;
    virtual void setCurDocCamera(int index) = 0;

    // The settings popover's pickers: the names of the cameras and microphones in the
    // controller's order, whether entry i is the current choice (the same record, not just the
    // same name), and the choices themselves. useCamera and useMicrophone hand the new choice to
    // the capture code, which applies it on its own queue; setPipCamera only records it for the
    // next picture-in-picture session.
    virtual std::vector<QString> cameraNames() const = 0;
    virtual std::vector<QString> microphoneNames() const = 0;
    // The current main camera's name; none while there is no current camera.
    virtual std::optional<QString> currentCameraName() const = 0;
    virtual bool isCurrentCamera(int index) const = 0;
    virtual bool isCurrentMicrophone(int index) const = 0;
    virtual void useCamera(int index) = 0;
    virtual void useMicrophone(int index) = 0;
    virtual void setPipCamera(int index) = 0;
    // Applies the chosen camera, microphone and the resolution flags again.
    virtual void reconfigure() = 0;
};

}  // namespace qv::controlbar
