// The picture-in-picture and document cameras beside a running main camera (synthetic devices:
// the main camera at 640 x 360, the second one at 320 x 240).
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>

#include "capture/CameraFixture.h"
#include "capture/DocCamController.h"
#include "capture/PIPController.h"
#include "capture/gst/DeviceProviders.h"

namespace qv::capture::test {

class SecondCameras : public CameraWindow {
protected:
    void openWith(const char* fixture) {
        open(std::make_unique<gst::SyntheticDeviceProvider>(QString::fromUtf8(fixture)));
        app::sharedCameraController = controller();
    }
    void TearDown() override {
        DocCamController::setWhiteboardScriptRunner({});
        CameraWindow::TearDown();
    }
    // A panel's content in a window of its own, as the root view shows it.
    template <typename Panel>
    std::unique_ptr<Panel> showPanel() {
        auto panel = std::make_unique<Panel>();
        panel->show();
        return panel;
    }
};

TEST_F(SecondCameras, PictureInPictureShowsTheSecondCameraAndStopsWhenClosed) {
    openWith(QV_TEST_SOURCE_DIR "/recorder-devices.json");
    auto panel = showPanel<PIPViewController>();
    PIPController* pip = panel->pipController();
    ASSERT_TRUE(qv::test::waitUntil([&] { return panel->previewView()->framesPainted() > 2; }, 10000));
    EXPECT_EQ(pip->curVemoCamera()->name, "Synthetic Second Camera");
    EXPECT_FALSE(pip->sharesMainCamera());
    EXPECT_EQ(pip->latestFrame()->size(), QSize(320, 240));  // its own pipeline's frames
    EXPECT_EQ(panel->previewView()->size(), QSize(320, 240));
    panel->resize(640, 480);
    EXPECT_EQ(panel->previewView()->size(), QSize(640, 480));

    // Closing stops the session at once; no frame arrives afterwards.
    pip->stop();
    EXPECT_FALSE(pip->isRunning());
    const auto frames = pip->framesReceived();
    qv::test::spin(300);
    EXPECT_EQ(pip->framesReceived(), frames);
    panel->hide();
    EXPECT_EQ(panel->pipController(), nullptr);
    EXPECT_TRUE(controller()->isSessionRunning());  // the main camera goes on
}

TEST_F(SecondCameras, TheMainCameraChosenForThePanelLendsItsFrames) {
    openWith(QV_TEST_SOURCE_DIR "/recorder-devices.json");
    controller()->setCurPipCamera(controller()->curVemoCamera());
    auto panel = showPanel<PIPViewController>();
    ASSERT_TRUE(qv::test::waitUntil([&] { return panel->previewView()->framesPainted() > 2; }, 10000));
    EXPECT_TRUE(panel->pipController()->sharesMainCamera());
    EXPECT_EQ(panel->pipController()->latestFrame()->size(), QSize(640, 360));
}

TEST_F(SecondCameras, WithOneCameraThePanelReportsNoCameraAndShowsNothing) {
    openWith(QV_TEST_SOURCE_DIR "/one-camera.json");
    testing::internal::CaptureStdout();
    auto panel = showPanel<PIPViewController>();
    qv::test::spin(500);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("noCamerasAvailable"), std::string::npos) << printed;
    EXPECT_EQ(panel->previewView()->framesPainted(), 0u);
}

TEST_F(SecondCameras, DocumentCameraFramesReachTheWhiteboardAsJpegDataUrls) {
    openWith(QV_TEST_SOURCE_DIR "/recorder-devices.json");
    QStringList scripts;
    DocCamController::setWhiteboardScriptRunner([&](const QString& script) { scripts << script; });
    app::setDocCamSampleBuffer(nullptr);
    EXPECT_EQ(docCamFrameDataURL(), "");

    auto panel = showPanel<DocCamViewController>();
    EXPECT_EQ(scripts, QStringList{"showTunnelWindow(-100, '', 'Document Camera')"});
    ASSERT_TRUE(qv::test::waitUntil([&] { return app::docCamSampleBuffer() != nullptr; }, 10000));
    const QString url = docCamFrameDataURL();
    ASSERT_TRUE(url.startsWith("data:image/jpeg;base64,"));
    QByteArray jpeg = QByteArray::fromBase64(url.mid(int(strlen("data:image/jpeg;base64,"))).toLatin1());
    QBuffer buffer(&jpeg);
    QImageReader reader(&buffer, "jpeg");
    EXPECT_EQ(reader.read().size(), QSize(320, 240));

    // Closing stops the session; the last frame stays for the whiteboard.
    panel->hide();
    EXPECT_EQ(panel->docCamController(), nullptr);
    const auto kept = app::docCamSampleBuffer();
    qv::test::spin(300);
    EXPECT_EQ(app::docCamSampleBuffer(), kept);
    EXPECT_NE(kept, nullptr);
}

// The document camera's frame-rate cap, through a controller that shows its choice.
class DocCamFormat : public DocCamController {
public:
    DocCamFormat() : DocCamController(std::nullopt) {}
    using DocCamController::chooseFormat;
};

TEST(DocCamFormatChoice, TheMakersCamerasRunTheirHdFormatAtMost33FramesPerSecond) {
    auto hd = std::make_shared<DeviceFormat>();
    hd->width = 1280;
    hd->height = 720;
    struct Case {
        int maxRate;
        FrameDuration expected;
    } cases[] = {{60, {1, 33}}, {30, {1, 30}}, {33, {1, 33}}};
    DocCamFormat controller;
    for (const Case& c : cases) {
        VemoCamera camera;
        camera.hdFmt = hd;
        camera.hdFps = std::make_shared<FrameRateRange>(FrameRateRange::fromRates(5, 1, c.maxRate, 1));
        DeviceFormatRef format;
        std::optional<FrameDuration> duration;
        controller.chooseFormat(camera, format, duration);
        EXPECT_EQ(format, hd);
        ASSERT_TRUE(duration) << c.maxRate;
        EXPECT_EQ(*duration, c.expected) << c.maxRate;
    }
    VemoCamera plain;  // not one of the maker's: keeps its own format
    DeviceFormatRef format;
    std::optional<FrameDuration> duration;
    controller.chooseFormat(plain, format, duration);
    EXPECT_EQ(format, nullptr);
    EXPECT_FALSE(duration);
}

}  // namespace qv::capture::test
