#pragma once
// A main camera for the control bar's tests: records what it is asked and answers as told.
#include <QString>

#include <vector>

#include "controlbar/CameraPort.h"

namespace qv::test {

struct FakeCamera : controlbar::CameraPort {
    std::vector<double> zooms;
    int pauseToggles = 0;
    int photos = 0;
    int movieStarts = 0;
    int screenStarts = 0;
    int stops = 0;
    bool paused = false;
    bool canPause = true;       // false: togglePause changes nothing
    bool startSucceeds = true;  // false: a start is refused
    QString durationText = QStringLiteral("00:07");
    std::vector<CameraInfo> list;
    int docCameraIndex = -1;
    // The pickers' view of the controller: names, the current choices (-1: none), and what
    // the bar asked for.
    std::vector<QString> cameraList;
    std::vector<QString> micList;
    int currentCamera = -1;
    int currentMic = -1;
    int pipCamera = -1;
    std::vector<int> camerasUsed;
    std::vector<int> micsUsed;
    int reconfigures = 0;

    void setZoom(double f) override { zooms.push_back(f); }
    bool isPaused() const override { return paused; }
    void togglePause() override {
        ++pauseToggles;
        if (canPause) paused = !paused;
    }
    void capturePhoto() override { ++photos; }
    bool startMovieRecording() override {
        ++movieStarts;
        return startSucceeds;
    }
    bool startScreenRecording() override {
        ++screenStarts;
        return startSucceeds;
    }
    // The bar's ear for a recording that fails after its start (the test calls it).
    RecordingFailed recordingFailed;
    void setRecordingFailedHandler(RecordingFailed handler) override { recordingFailed = std::move(handler); }
    void stopRecording() override { ++stops; }
    QString recordedDurationText() const override { return durationText; }
    std::vector<CameraInfo> cameras() const override { return list; }
    void setCurDocCamera(int index) override { docCameraIndex = index; }
    std::vector<QString> cameraNames() const override { return cameraList; }
    std::vector<QString> microphoneNames() const override { return micList; }
    std::optional<QString> currentCameraName() const override {
        if (currentCamera < 0 || currentCamera >= int(cameraList.size())) return std::nullopt;
        return cameraList[size_t(currentCamera)];
    }
    bool isCurrentCamera(int index) const override { return index == currentCamera; }
    bool isCurrentMicrophone(int index) const override { return index == currentMic; }
    void useCamera(int index) override {
        camerasUsed.push_back(index);
        currentCamera = index;
        ++reconfigures;
    }
    void useMicrophone(int index) override {
        micsUsed.push_back(index);
        currentMic = index;
        ++reconfigures;
    }
    void setPipCamera(int index) override { pipCamera = index; }
    void reconfigure() override { ++reconfigures; }
};

}  // namespace qv::test
