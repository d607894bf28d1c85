#pragma once
// The capture session of one camera (and its microphone) as a GStreamer pipeline:
//
//   camera ! caps(format, rate) ! [jpegdec] ! videoconvert ! caps "direct_caps" ! tee "video_tee"
//       video_tee. ! appsink "frames"                     latest full-size frame (photos, other views)
//       video_tee. ! queue ! appsink "preview"             the live preview at the size it is shown
//   microphone ! audioconvert ! tee "audio_tee"
//       audio_tee. ! fakesink                               sound kept flowing for recordings
//
// A recording adds its own branches (each behind a queue) to the two tees, so photos and movies
// always get full-size frames. The preview branch exists only for a session made with a preview
// callback; on its own streaming thread (its queue drops frames rather than hold the camera back)
// each frame becomes an RGB picture scaled to the size set with setPreviewSize() (the frame's own
// until one is set). The camera's own YUV frames travel as they are (the converter passes them
// through); only the preview's pictures are made for every frame, while the newest full-size
// frame is kept as the pipeline's buffer and becomes a picture only when latestFrame() asks for
// it. The sinks keep at most one buffer, drop older ones and never block the pipeline.
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
#include "capture/gst/FrameImages.h"
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

    // `onFrame` runs on a streaming thread after each new full-size frame, `onPreviewFrame` after
    // each new preview frame (without it the session has no preview branch).
    explicit CameraSession(std::function<void()> onFrame = {}, std::function<void()> onPreviewFrame = {});
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
    // Stops and lets the pipeline go, with the frames it gave and the devices, threads and
    // descriptors it holds (a frame keeps its buffer pool); the active format description stays
    // readable. configure() makes a new one.
    void release();
    bool isRunning() const { return running_.load(); }
    bool hasPipeline() const;
    bool hasSound() const { return hasSound_.load(); }

    std::shared_ptr<const QImage> latestFrame() const;
    // The newest preview frame (the newest full-size frame until the preview branch delivers one
    // or when there is none), and the size of the camera's frames it was made from.
    std::shared_ptr<const QImage> latestPreviewFrame() const;
    QSize frameSize() const;
    // The size the preview frames are scaled to (up or down); an empty size leaves them unscaled.
    // Any thread; kept across configure().
    void setPreviewSize(const QSize& size);
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
    void dropFrames();
    bool play(int timeoutMs);
    bool addPreviewBranch(Pipeline& p);

    std::function<void()> onFrame_;
    std::function<void()> onPreviewFrame_;
    Inputs inputs_;  // of the current pipeline (configure() and start() run on one thread)
    std::unique_ptr<Pipeline> pipeline_;
    mutable std::mutex pipelineMutex_;  // guards pipeline_ against hasPipeline() readers
    mutable std::mutex frameMutex_;
    std::shared_ptr<GstSample> latestSample_;              // the newest full-size frame
    mutable std::shared_ptr<const QImage> latest_;         // its picture, once asked for
    std::shared_ptr<const QImage> latestPreview_;
    mutable FrameImages fullImages_{FrameImages::Precision::exact};
    FrameImages previewImages_{FrameImages::Precision::fast};
    QSize frameSize_;
    QSize previewSize_;  // under frameMutex_
    QString activeFormat_;
    std::atomic<bool> running_{false};
    std::atomic<bool> hasSound_{false};
    std::atomic<std::uint64_t> framesCaptured_{0};
    std::atomic<std::uint64_t> framesReceived_{0};
};

}  // namespace qv::gst
