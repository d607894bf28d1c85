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
    void stopRecording() override { ++stops; }
    QString recordedDurationText() const override { return durationText; }
    std::vector<CameraInfo> cameras() const override { return list; }
    void setCurDocCamera(int index) override { docCameraIndex = index; }
};

}  // namespace qv::test
