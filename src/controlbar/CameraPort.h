#pragma once
// What the control bar asks of the main camera. The program's implementation forwards to the
// controller published in `sharedCameraController`; tests give the bar one of their own.
#include <QString>

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
    // Each returns whether a recording really started.
    virtual bool startMovieRecording() = 0;
    virtual bool startScreenRecording() = 0;
    virtual void stopRecording() = 0;
    virtual QString recordedDurationText() const = 0;
    // The cameras found, in the controller's order, and the choice of the document camera.
    virtual std::vector<CameraInfo> cameras() const = 0;
    virtual void setCurDocCamera(int index) = 0;
};

}  // namespace qv::controlbar
