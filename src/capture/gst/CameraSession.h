#pragma once
// The capture session of one camera (and its microphone) as a GStreamer pipeline:
//
//   camera ! caps(format, rate) ! [jpegdec] ! videoconvert ! BGRx ! tee "video_tee"
//       video_tee. ! appsink "frames"                     latest frame for preview and photos
//   microphone ! audioconvert ! tee "audio_tee"
//       audio_tee. ! fakesink                               sound kept flowing for recordings
//
// A recording adds its own branches (each behind a queue) to the two tees. The newest frame is
// kept as an image that shares the pipeline's buffer (no copy); the sink keeps at most one buffer,
// drops older ones and never blocks the pipeline (its callback only swaps the kept frame).
//
// configure(), start() and stop() change pipeline states and may wait: call them off the main
// thread. latestFrame() and the counters may be read from any thread.
#include <QImage>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "capture/core/DeviceRecords.h"
#include "capture/gst/MovieRecording.h"

namespace qv::gst {

class CameraSession {
public:
    struct Inputs {
        capture::CaptureDeviceRef camera;
        capture::DeviceFormatRef format;  // none: the device's current format
        std::optional<capture::FrameDuration> minFrameDuration;
        capture::CaptureDeviceRef mic;  // none: no sound
    };

    // `onFrame` runs on a streaming thread after each new frame.
    explicit CameraSession(std::function<void()> onFrame = {});
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Replaces any earlier pipeline (stopping it) with one for these inputs, not yet playing.
    // Returns an empty text on success, else why the camera cannot be used; after a failure the
    // session has no pipeline at all.
    QString configure(const Inputs& inputs);
    // Plays the pipeline and waits until it plays or fails (at most timeoutMs). A microphone that
    // keeps the pipeline from playing is left out (with a printed line) and the camera tried alone.
    bool start(int timeoutMs = 10000);
    void stop();
    bool isRunning() const { return running_.load(); }
    bool hasPipeline() const;
    bool hasSound() const { return hasSound_.load(); }

    std::shared_ptr<const QImage> latestFrame() const;
    // Frames that entered the pipeline's video tee, and frames handed to the preview.
    std::uint64_t framesCaptured() const { return framesCaptured_.load(); }
    std::uint64_t framesReceived() const { return framesReceived_.load(); }
    // The negotiated camera caps, e.g. "image/jpeg 1920 x 1080" (empty before the first frame).
    QString activeFormatDescription() const;

    // A camera movie (CameraRecording.cpp): new branches of the two tees feed an MP4 writer with
    // the picture and, when the session has sound, the microphone. Null with `error` set when the
    // session does not run or the file cannot be written.
    std::unique_ptr<MovieRecording> startMovieRecording(const QString& path, MovieRecording::FinishHandler onFinish,
                                                        QString* error);

    struct Pipeline;

private:
    void teardown();
    bool play(int timeoutMs);

    std::function<void()> onFrame_;
    Inputs inputs_;  // of the current pipeline (configure() and start() run on one thread)
    std::unique_ptr<Pipeline> pipeline_;
    mutable std::mutex pipelineMutex_;  // guards pipeline_ against hasPipeline() readers
    mutable std::mutex frameMutex_;
    std::shared_ptr<const QImage> latest_;
    QString activeFormat_;
    std::atomic<bool> running_{false};
    std::atomic<bool> hasSound_{false};
    std::atomic<std::uint64_t> framesCaptured_{0};
    std::atomic<std::uint64_t> framesReceived_{0};
};

}  // namespace qv::gst
