// Camera movies and screen recordings through the camera controller, on synthetic devices in a
// window under Xvfb: what lands in the videos folder, what is announced, and what is not.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

#include "MovieProbe.h"
#include "capture/CameraFixture.h"
#include "capture/ScreenRecorder.h"
#include "capture/gst/DeviceProviders.h"
#include "capture/gst/SourceDevice.h"
#include "state/Failures.h"

namespace note = qv::app::notification;

namespace qv::capture::test {

namespace {

// The printed lines that begin with `start`.
std::vector<std::string> linesStartingWith(const std::string& printed, const QString& start) {
    std::vector<std::string> lines;
    for (const QString& line : QString::fromStdString(printed).split('\n'))
        if (line.startsWith(start)) lines.push_back(line.toStdString());
    return lines;
}

// A recording failure as the window shows it: what failed, which file, why.
struct ShownFailure {
    QString label, path, reason;
    explicit ShownFailure(const QString& text) {
        const QStringList lines = text.split('\n');
        EXPECT_EQ(lines.size(), 3) << text.toStdString();
        label = lines.value(0);
        path = lines.value(1);
        reason = lines.value(2);
    }
};

// The synthetic cameras with a microphone whose source cannot be made: the camera runs without
// sound, a screen recorder cannot be set up with it.
class MicrophoneWithoutSource : public DeviceProvider {
public:
    MicrophoneWithoutSource() : synthetic_(QStringLiteral(QV_TEST_SOURCE_DIR "/recorder-devices.json")) {}
    std::vector<CaptureDeviceRef> videoDevices() override { return synthetic_.videoDevices(); }
    std::vector<CaptureDeviceRef> audioDevices() override {
        struct Mic : gst::SourceDevice {
            gst::ElementPtr createSource() const override { return nullptr; }
        };
        auto mic = std::make_shared<Mic>();
        mic->kind = CaptureDevice::Kind::Audio;
        mic->localizedName = QStringLiteral("Unplugged Line In");
        mic->uniqueID = QStringLiteral("test:unplugged");
        return {mic};
    }

private:
    gst::SyntheticDeviceProvider synthetic_;
};

}  // namespace

class Recording : public CameraWindow {
protected:
    void openSmallCamera() {
        open(std::make_unique<gst::SyntheticDeviceProvider>(QStringLiteral(QV_TEST_SOURCE_DIR "/recorder-devices.json")));
    }
    QString useVideosFolder() {
        useTemporarySaveFolder();
        const QString videos = app::folderLocations()->videosFolderURL;
        QDir().mkpath(videos);
        return videos;
    }
    // Waits for `expected` announcements; finishing and thumbnails take a while on a busy machine.
    std::vector<QString> announcedFiles(int expected) {
        EXPECT_TRUE(qv::test::waitUntil([&] { return log.count(note::VideoRecorded) >= expected; }, 120000));
        std::vector<QString> files;
        for (const auto& n : log.all(note::VideoRecorded)) {
            EXPECT_FALSE(n.userInfo.value("image").value<QImage>().isNull());
            files.push_back(n.userInfo.value("url").toUrl().toLocalFile());
        }
        return files;
    }
};

TEST_F(Recording, ACameraMovieIsAnH264AndAacMp4AnnouncedWithItsThumbnail) {
    openSmallCamera();
    const QString videos = useVideosFolder();
    EXPECT_EQ(controller()->recordedDurationText(), "00:00");
    testing::internal::CaptureStdout();
    controller()->startMovieRecording();
    QElapsedTimer wall;
    wall.start();
    EXPECT_EQ(controller()->recordingSource, "camera");
    qv::test::spin(3000);
    const QString clock = controller()->recordedDurationText();
    controller()->startMovieRecording();  // the second call ends the movie
    const double elapsed = wall.elapsed() / 1000.0;
    const auto files = announcedFiles(1);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(clock == "00:02" || clock == "00:03") << clock.toStdString();

    const QFileInfo file(files[0]);
    EXPECT_EQ(file.absolutePath(), videos);
    EXPECT_TRUE(QRegularExpression("^\\d{8}_\\d{6}(_\\d+)?\\.mp4$").match(file.fileName()).hasMatch());
    EXPECT_NE(printed.find("recorded " + QUrl::fromLocalFile(files[0]).toString().toStdString()), std::string::npos)
        << printed;
    const auto facts = qv::test::probeMovie(files[0]);
    ASSERT_TRUE(facts.readable) << facts.error.toStdString();
    EXPECT_EQ(facts.streams(), "video/x-h264 640x360, audio/mpeg 4");  // H.264 at the camera's size, AAC
    EXPECT_GE(facts.duration, 2.2);
    EXPECT_LE(facts.duration, elapsed + 0.1);
    EXPECT_FALSE(facts.topLevelBoxes.contains("moof"));
}

TEST_F(Recording, PauseFreezesThePreviewAndLeavesThePausedSecondOut) {
    openSmallCamera();
    useVideosFolder();
    controller()->startMovieRecording();
    QElapsedTimer wall;
    wall.start();
    qv::test::spin(1000);
    controller()->togglePause();
    EXPECT_TRUE(controller()->isPreviewFrozen());
    const auto frozen = controller()->previewFrame();
    qv::test::spin(1000);
    EXPECT_EQ(controller()->previewFrame(), frozen);  // the preview stands still
    controller()->togglePause();
    EXPECT_FALSE(controller()->isPreviewFrozen());
    qv::test::spin(1000);
    controller()->stopRecording();
    const double elapsed = wall.elapsed() / 1000.0;
    const auto files = announcedFiles(1);
    ASSERT_EQ(files.size(), 1u);
    const auto facts = qv::test::probeMovie(files[0]);
    ASSERT_TRUE(facts.readable);
    EXPECT_GE(facts.duration, 1.2);
    EXPECT_LE(facts.duration, elapsed - 0.8);
}

TEST_F(Recording, RecordingsStartedInTheSameSecondNeverShareAFile) {
    openSmallCamera();
    useVideosFolder();
    testing::internal::CaptureStdout();
    // A camera movie, stopped and started again at once, and a screen recording beside them.
    controller()->startMovieRecording();
    qv::test::spin(400);
    controller()->stopRecording();
    controller()->startMovieRecording();
    controller()->startScreenRecording();
    EXPECT_EQ(controller()->recordingSource, "screen");
    ASSERT_TRUE(controller()->screenRecorder());
    // A screen recording stopped before its first frame is an error: wait for frames.
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->screenRecorder()->recordedDuration() > 0.5; }, 60000));
    controller()->startScreenRecording();  // the second press stops the screen recording
    controller()->recordingSource = QStringLiteral("camera");
    controller()->stopRecording();
    const auto files = announcedFiles(3);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(files.size(), 3u) << printed;
    EXPECT_EQ(QSet<QString>(files.begin(), files.end()).size(), 3);
    EXPECT_NE(printed.find("STARTED"), std::string::npos);
    EXPECT_NE(printed.find("screen recorded at"), std::string::npos);
    EXPECT_TRUE(qv::test::waitUntil([&] { return controller()->screenRecorder() == nullptr; }));
    EXPECT_EQ(controller()->recordedDurationText(), "00:00");
}

TEST_F(Recording, StopEndsOnlyTheScreenRecordingAndTheCameraMovieGoesOn) {
    openSmallCamera();
    useVideosFolder();
    controller()->startMovieRecording();
    ASSERT_TRUE(controller()->isMovieRecording());
    controller()->startScreenRecording();  // beside the camera movie
    EXPECT_EQ(controller()->recordingSource, "screen");
    ASSERT_TRUE(controller()->screenRecorder());
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->screenRecorder()->recordedDuration() > 0.5; }, 60000));
    controller()->stopRecording();
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->screenRecorder() == nullptr; }, 60000));
    EXPECT_TRUE(controller()->isMovieRecording());  // the camera movie goes on
    ASSERT_EQ(announcedFiles(1).size(), 1u);
    qv::test::spin(300);
    EXPECT_EQ(log.count(note::VideoRecorded), 1);
    controller()->recordingSource = QStringLiteral("camera");
    controller()->stopRecording();
    EXPECT_EQ(announcedFiles(2).size(), 2u);
}

TEST_F(Recording, WithoutASaveFolderTheAlertShowsAndNothingIsRecorded) {
    openSmallCamera();
    controller()->startScreenRecording();
    EXPECT_EQ(controller()->recordingSource, "screen");  // set before any check
    EXPECT_EQ(controller()->screenRecorder(), nullptr);
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(qv::test::waitUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) alert = box;
        return alert != nullptr;
    }));
    EXPECT_TRUE(alert->text().startsWith("No Permissions granted to save files"));
    alert->close();
    controller()->startMovieRecording();
    EXPECT_FALSE(controller()->isMovieRecording());
    qv::test::spin(300);
    EXPECT_EQ(log.count(note::VideoRecorded), 0);
}

TEST_F(Recording, AMovieThatCannotStartPrintsTheErrorAndPostsNothing) {
    openSmallCamera();
    const QString videos = useVideosFolder();
    QDir(videos).removeRecursively();  // the videos folder went away
    std::vector<QString> shown;
    app::setFailureDisplay([&](const QString& text) { shown.push_back(text); });
    QStringList failed;
    QObject::connect(controller(), &CameraController::recordingFailed, [&](const QString& source) { failed << source; });
    testing::internal::CaptureStdout();
    controller()->startMovieRecording();
    EXPECT_FALSE(controller()->isMovieRecording());
    controller()->startScreenRecording();
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->screenRecorder() == nullptr; }, 10000));
    qv::test::spin(300);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.count(note::VideoRecorded), 0);
    // The movie was refused at once; the screen recorder found out once it ran, and says so.
    EXPECT_EQ(failed, QStringList{"screen"});
    // Both failures reach the window, each saying what failed, where and why; the printed line
    // is what failed and why alone.
    app::setFailureDisplay({});
    ASSERT_EQ(shown.size(), 2u);
    const char* labels[] = {"Error recording movie:", "Finished Error recording screen:"};
    for (size_t i = 0; i < shown.size(); ++i) {
        const ShownFailure failure(shown[i]);
        EXPECT_EQ(failure.label, labels[i]);
        EXPECT_EQ(QFileInfo(failure.path).absolutePath(), videos);
        EXPECT_FALSE(failure.reason.isEmpty());
        EXPECT_EQ(linesStartingWith(printed, labels[i]),
                  std::vector<std::string>{(failure.label + ' ' + failure.reason).toStdString()});
    }
    // A failed recording does not block the next one.
    QDir().mkpath(videos);
    controller()->startMovieRecording();
    EXPECT_TRUE(controller()->isMovieRecording());
    qv::test::spin(500);
    controller()->stopRecording();
    EXPECT_EQ(announcedFiles(1).size(), 1u);
}

TEST_F(Recording, AScreenRecorderThatCannotBeSetUpPrintsTheShortLineAndShowsWhy) {
    open(std::make_unique<MicrophoneWithoutSource>());
    const QString videos = useVideosFolder();
    ASSERT_TRUE(controller()->curVemoMic());
    std::vector<QString> shown;
    app::setFailureDisplay([&](const QString& text) { shown.push_back(text); });
    testing::internal::CaptureStdout();
    controller()->startScreenRecording();
    const std::string printed = testing::internal::GetCapturedStdout();
    app::setFailureDisplay({});
    EXPECT_EQ(controller()->screenRecorder(), nullptr);
    EXPECT_EQ(linesStartingWith(printed, "Failed to initialize screen recording"),
              std::vector<std::string>{"Failed to initialize screen recording"});
    ASSERT_EQ(shown.size(), 1u);
    const ShownFailure failure(shown[0]);
    EXPECT_EQ(failure.label, "Failed to initialize screen recording:");
    EXPECT_EQ(QFileInfo(failure.path).absolutePath(), videos);
    EXPECT_EQ(failure.reason, "couldNotAddMic: Unplugged Line In");
    EXPECT_TRUE(QDir(videos).isEmpty()) << "no file left behind";
}

TEST_F(Recording, AFinishedRecordingWithoutAPictureIsShownInTheWindowAndNotPosted) {
    openSmallCamera();
    const QString videos = useVideosFolder();
    std::vector<QString> shown;
    app::setFailureDisplay([&](const QString& text) { shown.push_back(text); });
    // Files that finished without error yet hold no picture: no frame at all, and no movie.
    const QString empty = videos + "/20250101_080000.mp4";
    const QString garbage = videos + "/20250101_080001.mp4";
    {
        QFile file(empty);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("00000018667479706973" "6f6d0000020069736f6d6d703432"));  // "ftyp" alone
        QFile junk(garbage);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
    }
    controller()->movieRecordingFinished(empty, std::nullopt);
    controller()->screenRecordingFinished(garbage, std::nullopt);
    ASSERT_TRUE(qv::test::waitUntil([&] { return shown.size() >= 2; }, 60000));
    app::setFailureDisplay({});
    for (const QString& path : {empty, garbage}) {
        const auto said = std::find_if(shown.begin(), shown.end(), [&](const QString& text) { return text.contains(path); });
        ASSERT_NE(said, shown.end()) << path.toStdString();
        EXPECT_TRUE(said->startsWith("No picture in the recording:")) << said->toStdString();
    }
    qv::test::spin(300);
    EXPECT_EQ(log.count(note::VideoRecorded), 0);
}

}  // namespace qv::capture::test
