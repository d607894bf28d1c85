// What repeated camera movies and picture-in-picture panels leave behind in the process: after a
// first round (which loads plug-ins and starts the threads that stay), further rounds must give
// back every descriptor and thread they took.
#include <gtest/gtest.h>

#include "capture/CameraFixture.h"
#include "capture/PIPController.h"
#include "capture/gst/DeviceProviders.h"
#include "support/ProcessUsage.h"

namespace note = qv::app::notification;

namespace qv::capture::test {

namespace {

struct Usage {
    int descriptors = qv::test::openDescriptors();
    int threads = qv::test::threadCount();
};

std::ostream& operator<<(std::ostream& out, const Usage& usage) {
    return out << usage.descriptors << " descriptors, " << usage.threads << " threads";
}

}  // namespace

class ProcessResources : public CameraWindow {
protected:
    void openCameras() {
        open(std::make_unique<gst::SyntheticDeviceProvider>(QStringLiteral(QV_TEST_SOURCE_DIR "/recorder-devices.json")));
        app::sharedCameraController = controller();
    }
    void TearDown() override {
        app::sharedCameraController = nullptr;
        CameraWindow::TearDown();
    }

    // Threads and pipelines end a little after the work that used them: what is still held once
    // the usage is back down to `before` (or the wait gave up) is left behind for good.
    void expectAllGivenBack(const Usage& before, const char* what) {
        qv::test::waitUntil(
            [&] {
                const Usage now;
                return now.descriptors <= before.descriptors && now.threads <= before.threads;
            },
            30000);
        const Usage after;
        EXPECT_EQ(after.descriptors, before.descriptors) << what << ": " << before << " before, " << after << " after";
        EXPECT_LE(after.threads, before.threads) << what << ": " << before << " before, " << after << " after";
    }

    // One camera movie of a second or so, through the controller as the record button starts it,
    // until it is announced (finished and given its thumbnail).
    void recordMovie() {
        const int announced = log.count(note::VideoRecorded);
        controller()->startMovieRecording();
        ASSERT_TRUE(controller()->isMovieRecording());
        ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->recordedDurationText() != "00:00"; }, 30000));
        controller()->startMovieRecording();  // the second press stops it
        ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(note::VideoRecorded) > announced; }, 120000));
    }

    // The panel opened, showing frames of the second camera, and closed again, as the root view
    // does when its picture-in-picture flag goes on and off.
    void openAndClosePictureInPicture() {
        auto panel = std::make_unique<PIPViewController>();
        panel->show();
        ASSERT_TRUE(qv::test::waitUntil([&] { return panel->previewView()->framesPainted() > 2; }, 20000));
        ASSERT_FALSE(panel->pipController()->sharesMainCamera());
        panel->hide();
        panel.reset();
    }
};

TEST_F(ProcessResources, CameraMoviesGiveBackTheirDescriptorsAndThreads) {
    openCameras();
    useTemporarySaveFolder();
    QDir().mkpath(app::folderLocations()->videosFolderURL);
    recordMovie();
    const Usage warm;
    for (int i = 0; i < 4; ++i) recordMovie();
    expectAllGivenBack(warm, "four more movies");
    EXPECT_EQ(log.count(note::VideoRecorded), 5);
}

TEST_F(ProcessResources, PictureInPicturePanelsGiveBackTheirDescriptorsAndThreads) {
    openCameras();
    openAndClosePictureInPicture();
    const Usage warm;
    for (int i = 0; i < 5; ++i) openAndClosePictureInPicture();
    expectAllGivenBack(warm, "five more panels");
    EXPECT_TRUE(controller()->isSessionRunning());  // the main camera went on throughout
}

}  // namespace qv::capture::test
