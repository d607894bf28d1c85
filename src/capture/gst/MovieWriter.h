#pragma once
// Encodes raw video frames, and optionally raw sound, pushed by a capture pipeline into an MP4
// file: H.264 (x264) at an average 4,000,000 bit/s, AAC sound.
//
// While recording, the file is a fragmented MP4 with two fragments per second, so a recording cut
// short by a crash or a kill still plays up to its last second or so. Finishing the recording
// turns it into an ordinary MP4 (one index at the end) without encoding it again.
//
// It speaks GStreamer types: only code built against GStreamer includes it (this library, its
// tests and the recording benchmark).
#include <gst/gst.h>

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qv::gst {

class MovieFileLock;

inline constexpr int movieBitRate = 4'000'000;  // bit/s, average

class MovieWriter {
public:
    // Called exactly once, on a thread of the writer, when the file is complete (after `finish()`
    // or after an error stopped the recording); `error` is set when the recording failed.
    using FinishHandler = std::function<void(const QString& path, const std::optional<QString>& error)>;

    MovieWriter(QString path, bool withAudio, FinishHandler onFinish);
    // Stops a writer that is still running and waits for its file to be finished.
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Makes the file, locked (see MovieFileLock), and starts the encoders. On failure there is no
    // file and the finish handler is never called.
    bool start(QString* error);

    // From any (streaming) thread. The sample's buffer is re-timed onto the movie's clock, which
    // starts with the first video frame and stands still while the writer is paused. Sound that
    // arrives before the first video frame, or while paused, is left out; silence goes before the
    // first sound kept, so both tracks start at 0, and fills any later gap in the sound. While the
    // sound lags more than a second behind the picture (a microphone that starts late or stops),
    // silence keeps up with the picture, a frame's worth at a time. A frame or piece of sound
    // that finds the encoder's queue full is dropped and not counted.
    void pushVideo(GstSample* sample);
    void pushAudio(GstSample* sample);

    // Called on the pushing thread with the movie time given to each frame (`isVideo`) or piece of
    // sound that goes into the movie. Set it before the first push.
    using TimeObserver = std::function<void(bool isVideo, GstClockTime movieTime)>;
    void setTimeObserver(TimeObserver observer) { timeObserver_ = std::move(observer); }

    void pause();
    void resume();
    bool isPaused() const { return paused_.load(); }
    bool isRecording() const { return running_.load() && !finishing_.load(); }
    // The recorded time so far in seconds (the end of the last video frame that went in).
    double recordedSeconds() const;

    // Ends the streams; the handler follows once the file is complete. Returns at once.
    void finish();

    const QString& path() const { return path_; }

private:
    struct Track;
    void push(Track& track, GstSample* sample, bool isVideo);
    void fillSoundUpTo(GstClockTime until);
    void watchBus();
    void complete(std::optional<QString> error);

    QString path_;
    bool withAudio_;
    FinishHandler onFinish_;
    TimeObserver timeObserver_;
    GstElement* pipeline_ = nullptr;  // owned; released in the destructor
    std::unique_ptr<Track> video_;
    std::unique_ptr<Track> audio_;
    std::thread busThread_;
    std::unique_ptr<MovieFileLock> lock_;  // held from start until the file is complete

    std::atomic<bool> running_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> finishing_{false};
    std::atomic<bool> completed_{false};

    // The movie clock, guarded by clockMutex_.
    mutable std::mutex clockMutex_;
    GstClockTime origin_ = GST_CLOCK_TIME_NONE;     // running time of the first video frame
    GstClockTime pausedTotal_ = 0;                  // time left out by pauses
    GstClockTime lastVideoRunningTime_ = GST_CLOCK_TIME_NONE;
    GstClockTime lastVideoDuration_ = 0;
    GstClockTime lastVideoMovieTime_ = 0;
    GstClockTime lastAudioEnd_ = 0;                 // movie time where the last sound pushed ends
    GstBuffer* lastVideoFrame_ = nullptr;           // the last frame pushed (a reference)
    bool resumePending_ = false;
};

// Rewrites a fragmented MP4 as an ordinary one in place: every track the file holds is copied,
// not encoded again. Blocks the calling thread.
bool finalizeFragmentedMovie(const QString& path, QString* error);

// The text of an error message of a bus.
QString errorText(GstMessage* message);

}  // namespace qv::gst
