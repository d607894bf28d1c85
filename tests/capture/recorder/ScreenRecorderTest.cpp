// The screen recorder under Xvfb (2560 x 1440): movie size, a short recording with and without
// sound, the errors of its initializer, and that a failed start still finishes.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "MovieProbe.h"
#include "capture/ScreenRecorder.h"
#include "capture/gst/DeviceProviders.h"
#include "capture/gst/ScreenCapture.h"
#include "support/QtWait.h"

#include <atomic>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using qv::capture::ScreenRecorder;

namespace {

struct Finish {
    bool called = false;
    QString url;
    std::optional<QString> error;
    bool onMainThread = false;
};

qv::capture::CaptureDeviceRef syntheticMic() {
    qputenv(qv::gst::syntheticDevicesVariable, QV_TEST_SOURCE_DIR "/recorder-devices.json");
    auto mics = qv::gst::makeDeviceProvider()->audioDevices();
    return mics.empty() ? nullptr : mics.front();
}

qv::capture::CaptureDeviceRef syntheticCamera() {
    qputenv(qv::gst::syntheticDevicesVariable, QV_TEST_SOURCE_DIR "/recorder-devices.json");
    auto cameras = qv::gst::makeDeviceProvider()->videoDevices();
    return cameras.empty() ? nullptr : cameras.front();
}

// Records for `ms` after the first frame; returns the wall time from start() to stop() in seconds.
double recordFor(ScreenRecorder& recorder, int ms, Finish& finish, bool& started) {
    QElapsedTimer wall;
    recorder.onStart = [&] { started = true; };
    recorder.onFinish = [&](const QString& url, const std::optional<QString>& error) {
        finish = {true, url, error, QThread::currentThread() == qApp->thread()};
    };
    wall.start();
    recorder.start();
    EXPECT_TRUE(qv::test::waitUntil([&] { return started || finish.called; }, 10000));
    qv::test::spin(ms);
    recorder.stop();
    const double elapsed = wall.elapsed() / 1000.0;
    EXPECT_TRUE(qv::test::waitUntil([&] { return finish.called; }, 30000));
    return elapsed;
}

}  // namespace

TEST(ScreenRecorder, MovieIsAsWideAsTheScreenButAtMost1920EvenPixels) {
    struct Case {
        int width, height, movieWidth, movieHeight;
    } cases[] = {
        {2560, 1440, 1920, 1080}, {1920, 1080, 1920, 1080}, {1440, 900, 1440, 900},
        {3840, 2160, 1920, 1080}, {1365, 767, 1364, 766},   {2561, 1441, 1920, 1080},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScreenRecorder::movieSize(c.width, c.height), QSize(c.movieWidth, c.movieHeight))
            << c.width << "x" << c.height;
}

TEST(ScreenRecorder, RecordsTheMainScreenAt1920PixelsWide) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().width(), 2560) << "run under xvfb-run at 2560x1440";
    QTemporaryDir dir;
    const QString path = dir.filePath("screen.mp4");
    ScreenRecorder recorder(path, 30, std::nullopt, true, false, qv::capture::mainDisplayID(), nullptr,
                            QStringLiteral("avc1"));
    Finish finish;
    bool started = false;
    const double wall = recordFor(recorder, 2000, finish, started);
    EXPECT_TRUE(started);
    ASSERT_FALSE(finish.error) << finish.error->toStdString();
    EXPECT_EQ(finish.url, path);
    EXPECT_TRUE(finish.onMainThread);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_GT(recorder.recordedDuration(), 1.0);  // the last duration stays after the finish

    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable) << facts.error.toStdString();
    EXPECT_EQ(facts.videoCodec, "video/x-h264");
    EXPECT_EQ(facts.width, 1920);
    EXPECT_EQ(facts.height, 1080);
    EXPECT_TRUE(facts.audioCodec.isEmpty());
    // About 2 s: never more than the time it ran, and the file holds what the recorder counted.
    EXPECT_GE(facts.duration, 1.5);
    EXPECT_LE(facts.duration, wall + 0.1);
    EXPECT_LE(facts.duration, recorder.recordedDuration() + 0.1);
}

TEST(ScreenRecorder, RecordsTheMicrophoneAsAac) {
    auto mic = syntheticMic();
    ASSERT_TRUE(mic);
    QTemporaryDir dir;
    const QString path = dir.filePath("screen-sound.mp4");
    ScreenRecorder recorder(path, 30, QRect(0, 0, 640, 360), true, false, qv::capture::mainDisplayID(), mic,
                            std::nullopt);
    Finish finish;
    bool started = false;
    recordFor(recorder, 1000, finish, started);
    ASSERT_FALSE(finish.error) << finish.error->toStdString();
    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.width, 480);  // the crop, scaled like the whole screen (2560 -> 1920)
    EXPECT_EQ(facts.height, 270);
    EXPECT_EQ(facts.audioCodec, "audio/mpeg");
    EXPECT_EQ(facts.audioMpegVersion, 4);
}

TEST(ScreenRecorder, InitializerErrors) {
    QTemporaryDir dir;
    const QString path = dir.filePath("never.mp4");
    try {
        ScreenRecorder recorder(path, 30, std::nullopt, true, false, 7, nullptr, std::nullopt);
        ADD_FAILURE() << "a screen that does not exist was accepted";
    } catch (const ScreenRecorder::Error& e) {
        EXPECT_EQ(e.value, ScreenRecorder::Error::invalidScreen);
    }
    try {
        ScreenRecorder recorder(path, 30, std::nullopt, true, false, 0, syntheticCamera(), std::nullopt);
        ADD_FAILURE() << "a camera was accepted as the sound device";
    } catch (const ScreenRecorder::Error& e) {
        EXPECT_EQ(e.value, ScreenRecorder::Error::invalidAudioDevice);
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(ScreenRecorder, AFailedStartStillFinishesWithTheError) {
    ScreenRecorder recorder("/nonexistent-folder/screen.mp4", 30, std::nullopt, true, false, 0, nullptr,
                            std::nullopt);
    Finish finish;
    bool started = false;
    recorder.onStart = [&] { started = true; };
    recorder.onFinish = [&](const QString& url, const std::optional<QString>& error) { finish = {true, url, error}; };
    recorder.start();
    ASSERT_TRUE(qv::test::waitUntil([&] { return finish.called; }, 10000));
    EXPECT_TRUE(finish.error.has_value());
    EXPECT_FALSE(started);
    EXPECT_FALSE(recorder.isRecording());
}

namespace {

// Presses and releases the left button at root pixel `at` through XTest, as a person would.
// Returns where the pointer was, for putPointerBack (once the click has been seen: the recorder
// reads the pointer's place when it hears of the press).
QPoint clickAt(QPoint at) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return {};
    Window root = DefaultRootWindow(display), rootReturn = 0, child = 0;
    int x = 0, y = 0, winX = 0, winY = 0;
    unsigned int buttons = 0;
    XQueryPointer(display, root, &rootReturn, &child, &x, &y, &winX, &winY, &buttons);
    XTestFakeMotionEvent(display, -1, at.x(), at.y(), CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
    return QPoint(x, y);
}

void putPointerBack(QPoint at) {
    if (Display* display = XOpenDisplay(nullptr)) {
        XTestFakeMotionEvent(display, -1, at.x(), at.y(), CurrentTime);
        XSync(display, False);
        XCloseDisplay(display);
    }
}

// The ring's yellow over the black screen, at any strength it fades through.
bool isRingColour(QColor c) { return c.red() > 80 && c.green() > 65 && c.blue() < 50 && c.red() > c.blue() + 60; }

}  // namespace

TEST(ScreenRecorder, AHighlightedClickShowsAsARingWhereItHappened) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().width(), 2560) << "run under xvfb-run at 2560x1440";
    QTemporaryDir dir;
    const QString path = dir.filePath("clicks.mp4");
    ScreenRecorder recorder(path, 30, std::nullopt, true, true, qv::capture::mainDisplayID(), nullptr,
                            QStringLiteral("avc1"));
    ASSERT_TRUE(recorder.watchesClicks());
    Finish finish;
    bool started = false;
    recorder.onStart = [&] { started = true; };
    recorder.onFinish = [&](const QString& url, const std::optional<QString>& error) { finish = {true, url, error}; };
    recorder.start();
    ASSERT_TRUE(qv::test::waitUntil([&] { return started || finish.called; }, 10000));
    ASSERT_TRUE(qv::test::waitUntil([&] { return recorder.recordedDuration() > 0.5; }, 10000));

    const QPoint click(800, 600);  // the movie is 0.75 of the screen: the ring's centre is (600, 450)
    const double clickedAt = recorder.recordedDuration();
    const QPoint pointerWas = clickAt(click);
    ASSERT_TRUE(qv::test::waitUntil([&] { return recorder.recordedDuration() > clickedAt + 3.0; }, 30000));
    recorder.stop();
    putPointerBack(pointerWas);
    ASSERT_TRUE(qv::test::waitUntil([&] { return finish.called; }, 30000));
    ASSERT_FALSE(finish.error) << finish.error->toStdString();

    // Left of the centre, on the ring (the pointer's own picture lies right of and below it).
    const QPoint onRing(600 - 18, 450);
    int ringed = 0;
    const auto frames = qv::test::decodedFrames(path, clickedAt - 0.3, 1e9);
    ASSERT_GE(frames.size(), 4u);
    for (const auto& frame : frames)
        if (isRingColour(frame.image.pixelColor(onRing))) ++ringed;
    // On a few frames at least, however slowly a busy machine records them.
    EXPECT_GE(ringed, 2) << "frames with the ring: " << ringed << " of " << frames.size();
    // Frames from before the click show the screen alone.
    EXPECT_FALSE(isRingColour(frames.front().image.pixelColor(onRing)));
}

namespace {

// Shared memory segments this process has attached (ximagesrc's frames are X shared memory).
int attachedSharedMemory() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return -1;
    return int(maps.readAll().count("SYSV"));
}

// One recording of about a second of a screen area at its own size, so that the frames reach the
// writer as the X server's shared images if nothing in between copies them.
void recordAreaAtItsOwnSize(const QString& path) {
    qv::gst::ScreenCaptureSettings settings;
    settings.destination = path;
    settings.area = QRect(0, 0, 640, 360);
    settings.outputSize = QSize(640, 360);
    qv::gst::ScreenCapture capture(settings);
    std::atomic<bool> started = false, finished = false;
    capture.start([&] { started = true; }, [&](const QString&, const std::optional<QString>&) { finished = true; });
    ASSERT_TRUE(qv::test::waitUntil([&] { return started || finished; }, 10000));
    ASSERT_TRUE(qv::test::waitUntil([&] { return capture.recordedSeconds() > 1.0 || finished; }, 10000));
    capture.stop();
    ASSERT_TRUE(qv::test::waitUntil([&] { return bool(finished); }, 30000));
}

}  // namespace

TEST(ScreenRecorder, RecordingsGiveBackTheScreensSharedImages) {
    QTemporaryDir dir;
    recordAreaAtItsOwnSize(dir.filePath("warm.mp4"));
    const int before = attachedSharedMemory();
    for (int i = 0; i < 3; ++i) recordAreaAtItsOwnSize(dir.filePath(QStringLiteral("screen%1.mp4").arg(i)));
    EXPECT_EQ(attachedSharedMemory(), before) << "segments attached after three more recordings";
    for (int i = 0; i < 3; ++i) EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("screen%1.mp4").arg(i))).size(), 0);
}
