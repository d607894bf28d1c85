#pragma once
// The screen recorder: one recording of one screen, optionally with a microphone's sound, into
// one MP4 file (H.264 at an average 4,000,000 bit/s). Created, started, perhaps paused and
// resumed, stopped, then dropped; it is not restarted.
//
// Threads: create and call it on the main thread. The callbacks run on the main thread too.
// onFinish is called exactly once after start(), also when the recording could not start or
// broke off (with the error), so a failed recording never blocks the next one.
#include <QJsonObject>
#include <QObject>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "capture/core/DeviceRecords.h"

namespace qv::gst {
class ScreenCapture;
}

namespace qv::capture {

class ScreenSaverInhibitor;
namespace x11 {
class ClickWatcher;
}

// A screen's number: its position in the desktop's screen list (QGuiApplication::screens()).
using DisplayID = std::uint32_t;

// The screen that screen recordings capture: the primary screen, looked up at first use and kept
// for the rest of the process.
DisplayID mainDisplayID();

class ScreenRecorder : public QObject {
    Q_OBJECT
public:
    class Error : public std::runtime_error {
    public:
        enum Case { invalidScreen, invalidAudioDevice, couldNotAddScreen, couldNotAddMic, couldNotAddOutput };
        explicit Error(Case c, const QString& detail = {});
        Case value;
        bool operator==(Case c) const { return value == c; }
    };

    // The screen `screenId` (at most 1920 pixels wide in the movie, sizes even), `cropRect` in the
    // screen's own coordinates (none: the whole screen). With `highlightClicks` every press of a
    // pointer button, in any program, shows in the movie as a ring that fades within a moment
    // (where the desktop has X Input 2; elsewhere nothing is drawn). The only codec is H.264, which
    // `videoCodec` may name ("avc1", "h264"). Throws Error.
    ScreenRecorder(const QString& destination, int framesPerSecond, std::optional<QRect> cropRect, bool showCursor,
                   bool highlightClicks, DisplayID screenId, CaptureDeviceRef audioDevice,
                   std::optional<QString> videoCodec, QObject* parent = nullptr);
    ~ScreenRecorder() override;

    const QString destination;

    std::function<void()> onStart;
    std::function<void(const QString& url, const std::optional<QString>& error)> onFinish;
    std::function<void()> onPause;
    std::function<void()> onResume;

    void start();
    void stop();
    void pause();
    void resume();
    bool isRecording() const;
    bool isPaused() const;
    // True when clicks are highlighted and the desktop reports them (waits until it is known).
    bool watchesClicks() const;
    // Seconds recorded so far; after stop() the last value stays until the recorder is dropped.
    double recordedDuration() const;

    // The movie size for a screen `widthPoints` x `heightPoints` points: as wide as the screen but
    // at most 1920 pixels, the height in proportion, both even.
    static QSize movieSize(int widthPoints, int heightPoints);

    // What the recorder could record: the screens and the audio inputs.
    struct Devices {
        struct Screen {
            std::uint32_t id = 0;
            QString name;
            friend bool operator==(const Screen&, const Screen&) = default;
            QJsonObject toJson() const;
            static Screen fromJson(const QJsonObject& json);  // throws std::invalid_argument
        };
        struct Audio {
            QString id;
            QString name;
            friend bool operator==(const Audio&, const Audio&) = default;
            QJsonObject toJson() const;
            static Audio fromJson(const QJsonObject& json);
        };
        struct IOS {
            QString id;
            QString name;
            friend bool operator==(const IOS&, const IOS&) = default;
            QJsonObject toJson() const;
            static IOS fromJson(const QJsonObject& json);
        };
        // One entry per screen of the desktop, in its order; names from the screen's maker and
        // model, "Unnamed screen" when it reports none.
        static std::vector<Screen> screen();
        // One entry per microphone of the device monitor (or of the synthetic devices).
        static std::vector<Audio> audio();
    };

private:
    void finished(const QString& url, const std::optional<QString>& error);

    std::unique_ptr<gst::ScreenCapture> capture_;
    std::unique_ptr<ScreenSaverInhibitor> inhibitor_;
    std::unique_ptr<x11::ClickWatcher> clicks_;  // with highlightClicks only; goes before capture_
    bool started_ = false;
    bool finished_ = false;
    double lastDuration_ = 0;
};

size_t qHash(const ScreenRecorder::Devices::Screen& screen, size_t seed = 0);
size_t qHash(const ScreenRecorder::Devices::Audio& audio, size_t seed = 0);
size_t qHash(const ScreenRecorder::Devices::IOS& ios, size_t seed = 0);

}  // namespace qv::capture
