#pragma once
// A screen recording pipeline: the X server's picture of one screen area (ximagesrc) scaled to
// the movie size, optionally with a microphone's sound, written by a MovieWriter.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

#include "capture/core/DeviceRecords.h"
#include "capture/gst/MovieRecording.h"

namespace qv::gst {

struct ScreenCaptureSettings {
    QString destination;
    QRect area;          // root-window pixels to capture; empty: the whole root window
    QSize outputSize;    // even width and height
    int framesPerSecond = 30;
    bool showCursor = true;
    bool highlightClicks = false;  // a fading ring drawn into the movie where each click happened
    capture::CaptureDeviceRef audioDevice;  // none: no sound
};

class ScreenCapture : public MovieRecording {
public:
    enum class Failure { invalidScreen, invalidAudioDevice, couldNotAddScreen, couldNotAddMic, couldNotAddOutput };
    struct SetupError {
        Failure failure;
        QString detail;
    };

    // Builds the pipelines without starting them. Throws SetupError.
    explicit ScreenCapture(const ScreenCaptureSettings& settings);
    ~ScreenCapture() override;

    // Starts capturing and writing. The finish handler is called exactly once in every case, also
    // when starting fails (with the error), so a failed recording never blocks the next one.
    void start(StartHandler onStart, FinishHandler onFinish);

    void stop() override;
    void pause() override;
    void resume() override;
    bool isRecording() const override;
    bool isPaused() const override;
    double recordedSeconds() const override;
    QString path() const override;

    // A click at `rootPixel` (root-window pixels) to highlight in the frames that follow; ignored
    // without `highlightClicks` or outside the captured area. From any thread.
    void addClick(QPoint rootPixel);

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace qv::gst
