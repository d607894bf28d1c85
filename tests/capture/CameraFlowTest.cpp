#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

#include <unistd.h>

#include <functional>

#include "CameraFixture.h"
#include "state/Failures.h"
#include "capture/gst/DeviceProviders.h"

using namespace qv::capture;
using qv::capture::test::CameraWindow;
namespace note = qv::app::notification;

namespace {

bool near(QRgb pixel, int r, int g, int b, int tolerance = 24) {
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

// The seven colour bars of the test pattern, left to right.
struct Bar {
    int r, g, b;
};
constexpr Bar bars[7] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                         {255, 0, 255},   {255, 0, 0},   {0, 0, 255}};

// Checks the bars across the picture's upper part, from edge to edge of `width`.
void expectColourBars(const QImage& image, int y, int width) {
    for (int i = 0; i < 7; ++i) {
        const int x = width * (2 * i + 1) / 14;
        const QRgb p = image.pixel(x, y);
        EXPECT_TRUE(near(p, bars[i].r, bars[i].g, bars[i].b))
            << "bar " << i << " at " << x << "," << y << ": " << qRed(p) << " " << qGreen(p) << " " << qBlue(p);
    }
    EXPECT_TRUE(near(image.pixel(2, y), 255, 255, 255));
    EXPECT_TRUE(near(image.pixel(width - 3, y), 0, 0, 255));
}

}  // namespace

TEST_F(CameraWindow, ListReadyThenStartedAndThePatternFillsTheView) {
    std::vector<VemoCamera> hidStarts;
    CameraController::setHIDLinkStarter([&](const VemoCamera& camera) { hidStarts.push_back(camera); });
    open();
    EXPECT_EQ(qv::app::sharedCameraController.data(), controller());
    EXPECT_EQ(qv::app::sharedCameraViewController.data(), view->viewController());
    const int ready = log.indexOf(note::Camera_List_Ready);
    ASSERT_GE(ready, 0);
    EXPECT_LT(ready, log.indexOf(note::CameraStarted));

    // Discovery: the own camera first, the plain webcam after it, the virtual camera skipped.
    const auto cameras = controller()->vemoCameras();
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, "Quorvane Pimlet V5");
    EXPECT_EQ(cameras[1].name, "Plain USB Webcam");
    EXPECT_TRUE(cameras[0].isHIDControlSupported);
    const auto started = log.all(note::CameraStarted).front().userInfo.value("vemoCamera").value<VemoCamera>();
    EXPECT_EQ(started.name, "Quorvane Pimlet V5");
    EXPECT_EQ(controller()->curVemoCamera()->id, cameras[0].id);
    EXPECT_TRUE(controller()->hasSound());
    EXPECT_EQ(controller()->latestFrame()->size(), QSize(1920, 1080));

    // The 16:9 picture fills the 1280 x 800 window's width, letterboxed above and below.
    const QImage shot = view->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(1280, 800));
    expectColourBars(shot, 200, 1280);
    EXPECT_TRUE(near(shot.pixel(640, 15), 0, 0, 0, 4));
    EXPECT_TRUE(near(shot.pixel(640, 785), 0, 0, 0, 4));

    ASSERT_TRUE(qv::test::waitUntil([&] { return !hidStarts.empty(); }, 3000));
    EXPECT_EQ(hidStarts.front().productID, 0x29);
    CameraController::setHIDLinkStarter(nullptr);
}

TEST_F(CameraWindow, SnapshotsWriteContainerSizedFilesUnderDistinctNames) {
    open();
    const QString images = useTemporarySaveFolder();
    controller()->capturePhoto();
    controller()->capturePhoto();
    ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(note::ImageCaptured) == 2; }, 10000));
    const auto captured = log.all(note::ImageCaptured);
    const QString first = captured[0].userInfo.value("url").toUrl().toLocalFile();
    const QString second = captured[1].userInfo.value("url").toUrl().toLocalFile();
    EXPECT_NE(first, second);
    const QRegularExpression name(QStringLiteral("^\\d{8}_\\d{6}(_\\d+)?\\.png$"));
    for (const QString& path : {first, second}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(QFileInfo(path).path(), images);
        EXPECT_TRUE(name.match(QFileInfo(path).fileName()).hasMatch());
        const QImage file(path);
        ASSERT_EQ(file.size(), QSize(1280, 800));
        expectColourBars(file, 200, 1280);
        EXPECT_EQ(qAlpha(file.pixel(640, 15)), 0);  // the letterbox keeps the bitmap's transparency
    }
    EXPECT_EQ(captured[0].userInfo.value("image").value<QImage>().size(), QSize(1280, 800));
}

TEST_F(CameraWindow, SnapshotWithoutSaveFolderShowsTheAlertAndPostsNothing) {
    open();
    controller()->capturePhoto();
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(qv::test::waitUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) alert = box;
        return alert != nullptr;
    }));
    EXPECT_EQ(alert->text(), "No Permissions granted to save files on your computer, please restart app and choose a "
                             "folder to save files!");
    alert->close();
    QThreadPool::globalInstance()->waitForDone();
    qv::test::spin(100);
    EXPECT_EQ(log.count(note::ImageCaptured), 0);
}

TEST_F(CameraWindow, FailedWritePrintsTheErrorShowsItAndPostsNothing) {
    open();
    std::vector<QString> shown;
    qv::app::setFailureDisplay([&](const QString& text) { shown.push_back(text); });
    // A folder root may still write in: the read-only case then uses one the kernel refuses.
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* name;
        std::function<QString(const QString& images)> spoil;  // returns the folder written to
    } cases[] = {
        {"folder deleted", [](const QString& images) {
             QDir(images).removeRecursively();
             return images;
         }},
        {"folder replaced by a file", [](const QString& images) {
             QDir(images).removeRecursively();
             QFile blocker(images);
             blocker.open(QIODevice::WriteOnly);
             return images;
         }},
        {"folder read-only", [root](const QString& images) {
             if (root) return QStringLiteral("/sys/kernel");
             QFile::setPermissions(images, QFile::ReadOwner | QFile::ExeOwner);
             return images;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        const QString images = c.spoil(useTemporarySaveFolder());
        if (images != qv::app::folderLocations()->imagesFolderURL) {
            auto folders = std::make_shared<qv::app::FolderLocations>(*qv::app::folderLocations());
            folders->imagesFolderURL = images;
            qv::app::setFolderLocations(folders);
        }
        const int capturedBefore = log.count(note::ImageCaptured);
        testing::internal::CaptureStdout();
        controller()->capturePhoto();
        QThreadPool::globalInstance()->waitForDone();
        ASSERT_TRUE(qv::test::waitUntil([&] { return !shown.empty(); }, 5000)) << "nothing shown";
        qv::test::spin(100);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find("Failed writing snapshot: " + images.toStdString()), std::string::npos) << printed;
        EXPECT_EQ(printed.find("Took a snapshot at:"), std::string::npos);
        EXPECT_EQ(log.count(note::ImageCaptured), capturedBefore);
        // What failed and where, in the window.
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].startsWith("Failed writing snapshot:")) << shown[0].toStdString();
        EXPECT_TRUE(shown[0].contains(images)) << shown[0].toStdString();
        QFile::setPermissions(images, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(images);
    }
    qv::app::setFailureDisplay({});
}

TEST_F(CameraWindow, PictureWithoutMicrophoneRunsWithoutSound) {
    testing::internal::CaptureStdout();
    open(std::make_unique<qv::gst::SyntheticDeviceProvider>(QStringLiteral(QV_TEST_SOURCE_DIR "/no-microphone.json")));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("No microphone found: the camera runs without sound."), std::string::npos);
    EXPECT_FALSE(controller()->hasSound());
    EXPECT_TRUE(controller()->vemoMics().empty());
    // A plain camera keeps its current format (the YUY2 one here).
    EXPECT_EQ(controller()->latestFrame()->size(), QSize(1280, 720));
}

TEST_F(CameraWindow, ReconfigurationAppliesResolutionAndRecoversFromAFailedOne) {
    open();
    qv::app::applyResolution(QStringLiteral("4K@30fps"));
    controller()->reconfigure();
    ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(note::CameraStarted) == 2; }, 20000));
    EXPECT_EQ(log.count(note::Camera_List_Ready), 2);
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->latestFrame() != nullptr; }));
    EXPECT_EQ(controller()->latestFrame()->size(), QSize(3840, 2160));

    // A camera that cannot be opened: no notification, the session stays stopped ...
    const VemoCamera good = *controller()->curVemoCamera();
    VemoCamera broken = good;
    broken.camera = std::make_shared<CaptureDevice>();
    controller()->setCurVemoCamera(broken);
    controller()->reconfigure();
    ASSERT_TRUE(qv::test::waitUntil([&] { return !controller()->isSessionRunning(); }, 10000));
    qv::test::spin(300);
    EXPECT_EQ(log.count(note::CameraStarted), 2);
    EXPECT_EQ(controller()->curVemoCamera()->camera, broken.camera);

    // ... and the next choice runs again.
    qv::app::applyResolution(QStringLiteral("720P@30fps"));
    controller()->setCurVemoCamera(good);
    controller()->reconfigure();
    ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(note::CameraStarted) == 3; }, 20000));
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->latestFrame() != nullptr; }));
    EXPECT_EQ(controller()->latestFrame()->size(), QSize(1280, 720));
}

TEST_F(CameraWindow, MotionJpegWebcamIsDecoded) {
    open();
    const auto cameras = controller()->vemoCameras();
    ASSERT_EQ(cameras.size(), 2u);
    controller()->setCurVemoCamera(cameras[1]);  // the plain webcam keeps its current motion-JPEG format
    controller()->reconfigure();
    ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(note::CameraStarted) == 2; }, 20000));
    EXPECT_EQ(log.all(note::CameraStarted)[1].userInfo.value("vemoCamera").value<VemoCamera>().name, "Plain USB Webcam");
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->latestFrame() != nullptr; }));
    EXPECT_EQ(controller()->latestFrame()->size(), QSize(1280, 720));
    EXPECT_FALSE(cameras[1].isQuorvane);
}

TEST_F(CameraWindow, QuickChoicesApplyOnlyTheLatestWaitingOne) {
    open();
    const auto cameras = controller()->vemoCameras();
    ASSERT_EQ(cameras.size(), 2u);
    const int before = log.count(note::CameraStarted);
    // Five choices in a row, the plain webcam last: the first may already be running when the
    // rest arrive, but of those waiting only the last is applied.
    for (int i = 0; i < 5; ++i) {
        const VemoCamera& camera = cameras[std::size_t((i + 1) % 2)];
        controller()->reconfigure({camera, controller()->curVemoMic(), true, false});
    }
    EXPECT_EQ(controller()->curVemoCamera()->name, "Plain USB Webcam") << "the choice is current at once";
    ASSERT_TRUE(qv::test::waitUntil([&] {
        const auto started = log.all(note::CameraStarted);
        return int(started.size()) > before &&
               started.back().userInfo.value("vemoCamera").value<VemoCamera>().name == "Plain USB Webcam";
    }, 30000));
    qv::test::spin(1500);
    EXPECT_LE(log.count(note::CameraStarted) - before, 2) << "not one restart per choice";
    EXPECT_EQ(log.all(note::CameraStarted).back().userInfo.value("vemoCamera").value<VemoCamera>().name, "Plain USB Webcam");
}
