#pragma once
// One running movie recording (a camera movie or a screen recording) as the Qt side sees it:
// no GStreamer types, safe to call from the main thread.
#include <QString>

#include <functional>
#include <optional>

namespace qv::gst {

class MovieRecording {
public:
    // Runs once per recording on a GStreamer thread when the file is complete: after stop(), or
    // after an error ended the recording (then `error` is set).
    using FinishHandler = std::function<void(const QString& path, const std::optional<QString>& error)>;
    // Runs once on a GStreamer thread when the first frame has been written.
    using StartHandler = std::function<void()>;

    virtual ~MovieRecording() = default;

    // Ends the recording; the finish handler follows once the file is complete.
    virtual void stop() = 0;
    // Pausing leaves the paused time out of the movie.
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual bool isRecording() const = 0;
    virtual bool isPaused() const = 0;
    // Seconds recorded so far (paused time not counted).
    virtual double recordedSeconds() const = 0;
    virtual QString path() const = 0;
};

}  // namespace qv::gst
