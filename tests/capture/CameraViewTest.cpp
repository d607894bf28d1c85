#include <QImage>
#include <QUrl>

#include "CameraFixture.h"

using namespace qv::capture;
using qv::capture::test::CameraWindow;
namespace note = qv::app::notification;

namespace {
void rotate(const char* direction) {
    qv::app::post(note::ROTATE_CAMERA, {{QStringLiteral("direction"), QString::fromLatin1(direction)}});
}
void mirror() { qv::app::post(note::Mirror_CAMERA); }
}  // namespace

TEST_F(CameraWindow, RotationAndMirrorSequences) {
    open();
    struct Case {
        std::vector<const char*> steps;  // "left", "right", "mirror"
        double rotation;
        bool mirrored;
        bool vertical;
    } cases[] = {
        {{"left"}, -90, false, true},
        {{"left", "left"}, -180, false, false},
        {{"left", "left", "left", "left", "left"}, -450, false, true},
        {{"mirror", "right"}, -90, true, true},
        {{"mirror", "left"}, 90, true, true},
        {{"right", "mirror", "mirror"}, 90, false, true},
        {{"right", "right", "right", "right"}, 360, false, false},
    };
    for (const Case& c : cases) {
        view->viewController()->cameraController()->rotation = 0;
        window.reset();
        log.received.clear();
        open();
        for (const char* step : c.steps) {
            if (std::string(step) == "mirror") mirror();
            else rotate(step);
        }
        SCOPED_TRACE(c.rotation);
        EXPECT_EQ(view->rotation(), c.rotation);
        EXPECT_EQ(view->mirrorHorizontal(), c.mirrored);
        EXPECT_EQ(view->isVertical(), c.vertical);
        EXPECT_EQ(controller()->rotation, c.rotation);
        EXPECT_EQ(controller()->mirrorHorizontal, c.mirrored);
        // The preview's frame swaps width and height while the picture stands upright.
        EXPECT_EQ(preview()->frameSize(), c.vertical ? QSizeF(800, 1280) : QSizeF(1280, 800));
    }
}

TEST_F(CameraWindow, RotationWithoutADirectionChangesNoAngle) {
    open();
    controller()->rotation = 123;
    qv::app::post(note::ROTATE_CAMERA);
    EXPECT_EQ(view->rotation(), 0);
    EXPECT_EQ(controller()->rotation, 123);  // untouched without the entry
    qv::app::post(note::ROTATE_CAMERA, {{QStringLiteral("direction"), QStringLiteral("up")}});
    EXPECT_EQ(view->rotation(), 0);
    EXPECT_EQ(controller()->rotation, 0);  // set to the view's unchanged angle
}

TEST_F(CameraWindow, QuarterTurnShowsThePictureUpright) {
    open();
    rotate("right");
    qv::test::spin(200);
    const QImage shot = view->grab().toImage();
    // Turned clockwise: the bars run top to bottom, the first (grey) bar at the top.
    // The upright picture is 800 x 450 inside a 800 x 1280 frame, i.e. 450 wide on screen.
    const int centreX = 640;
    // The picture reaches the top edge: its first bar is there, not the black around it.
    const QRgb edge = shot.pixel(centreX + 150, 3);
    EXPECT_GT(qRed(edge) + qGreen(edge) + qBlue(edge), 400) << qRed(edge) << " " << qGreen(edge) << " " << qBlue(edge);
    const QRgb top = shot.pixel(centreX + 150, 30);
    const QRgb outside = shot.pixel(200, 400);
    EXPECT_GT(qRed(top) + qGreen(top) + qBlue(top), 400) << qRed(top) << " " << qGreen(top) << " " << qBlue(top);
    EXPECT_LT(qRed(outside) + qGreen(outside) + qBlue(outside), 10);
}

TEST_F(CameraWindow, PreviewFramesFollowTheDrawnSizeWhileFullSizeFramesStay) {
    open();
    // The pipeline scales the preview to the pixels drawn, never above the camera's own size;
    // photos, recordings and the other views keep taking the full-size frames.
    struct Case {
        const char* step;  // "zoom" to `zoom`, or "right" to turn the picture a quarter
        double zoom;
        QSize preview;
    } cases[] = {
        {"zoom", 1.0, {1280, 720}},
        {"zoom", 2.0, {1920, 1080}},  // drawn 2560 x 1440: the frames stay as they are
        {"zoom", 0.5, {640, 360}},
        {"zoom", 1.0, {1280, 720}},
        {"right", 0, {800, 450}},  // upright in an 800 x 1280 frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.step) + " " + std::to_string(c.zoom));
        if (std::string(c.step) == "right") rotate("right");
        else controller()->setZoom(c.zoom);
        EXPECT_TRUE(qv::test::waitUntil([&] { return controller()->previewFrame()->size() == c.preview; }, 10000))
            << controller()->previewFrame()->size().width() << " x " << controller()->previewFrame()->size().height();
        EXPECT_EQ(controller()->latestFrame()->size(), QSize(1920, 1080));
        EXPECT_EQ(controller()->previewSourceSize(), QSize(1920, 1080));
    }
}

TEST_F(CameraWindow, ACameraSmallerThanTheViewIsScaledUpByThePipeline) {
    open();
    // 720p in a 1920 x 1200 view: the preview frames come at the 1920 x 1080 they are drawn at, so
    // the painter copies them instead of scaling each one; photos keep the camera's own frames.
    qv::app::applyResolution(QStringLiteral("720P@30fps"));
    controller()->reconfigure();
    ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(note::CameraStarted) == 2; }, 20000));
    window->resize(1920, 1200);
    EXPECT_TRUE(qv::test::waitUntil([&] { return controller()->previewFrame()->size() == QSize(1920, 1080); }, 10000))
        << controller()->previewFrame()->size().width() << " x " << controller()->previewFrame()->size().height();
    EXPECT_EQ(controller()->latestFrame()->size(), QSize(1280, 720));
    // Zoomed past the view, the frames are the camera's own again.
    controller()->setZoom(2.0);
    EXPECT_TRUE(qv::test::waitUntil([&] { return controller()->previewFrame()->size() == QSize(1280, 720); }, 10000))
        << controller()->previewFrame()->size().width() << " x " << controller()->previewFrame()->size().height();
}

TEST_F(CameraWindow, ScaledPreviewShowsTheWholePictureInItsLayer) {
    open();
    ASSERT_TRUE(qv::test::waitUntil([&] { return controller()->previewFrame()->size() == QSize(1280, 720); }, 10000));
    qv::test::spin(100);
    const QImage shot = view->grab().toImage();
    // Letterboxed 40 points top and bottom; the bars reach both edges (grey at the left, blue at the right).
    const auto sum = [](QRgb p) { return qRed(p) + qGreen(p) + qBlue(p); };
    EXPECT_LT(sum(shot.pixel(640, 38)), 10);
    EXPECT_GT(sum(shot.pixel(2, 100)), 400);
    EXPECT_GT(qBlue(shot.pixel(1277, 100)), 150);
    EXPECT_LT(qRed(shot.pixel(1277, 100)), 60);
    EXPECT_LT(sum(shot.pixel(640, 762)), 10);
    EXPECT_GT(sum(shot.pixel(640, 758)), 0);
}

TEST_F(CameraWindow, PinchZoomsWithinLimitsAndDragPansMirrored) {
    open();
    EXPECT_DOUBLE_EQ(qv::app::currentZoomFactor, 1.0);  // 1280 x 800: min(1.0, 1.11)
    int zoomed = log.count(note::Zoomed_CAMERA);
    struct Case {
        double scale;
        double expected;
    } cases[] = {{3, 3}, {20, 10}, {0.1, 0.5}};
    for (const Case& c : cases) {
        controller()->resizePreview(preview());
        view->magnificationChanged(c.scale);
        EXPECT_DOUBLE_EQ(qv::app::currentZoomFactor, c.expected);
        view->magnificationEnded();
    }
    EXPECT_GT(log.count(note::Zoomed_CAMERA), zoomed);
    EXPECT_DOUBLE_EQ(view->digitalZoomFactor(), 0.5);

    // A second pinch starts from the factor current at its first change.
    controller()->resizePreview(preview());
    view->magnificationChanged(2);
    view->magnificationEnded();
    view->magnificationChanged(2);
    EXPECT_DOUBLE_EQ(qv::app::currentZoomFactor, 4);
    view->magnificationEnded();

    controller()->resizePreview(preview());
    const QRectF fitted = *controller()->previewLayerFrame();
    controller()->setZoom(2);
    // The frame changes at once; the picture eases there from where it was.
    const QRectF zoomedFrame = *controller()->previewLayerFrame();
    EXPECT_EQ(preview()->shownLayerFrame(), fitted);
    qv::test::waitUntil([&] { return preview()->shownLayerFrame() != fitted; }, 2000);
    EXPECT_TRUE(fitted.width() < preview()->shownLayerFrame().width() || preview()->shownLayerFrame() == zoomedFrame);
    EXPECT_TRUE(qv::test::waitUntil([&] { return preview()->shownLayerFrame() == zoomedFrame; }, 3000))
        << "the zoom never arrived";
    const QPointF start = controller()->previewLayerFrame()->topLeft();
    mirror();
    view->dragChanged(QPointF(30, 10));
    EXPECT_EQ(controller()->previewLayerFrame()->topLeft(), start + QPointF(-30, -10));
    view->dragEnded();
    EXPECT_FALSE(controller()->previewGeometry().draggingStartRect());
}

TEST_F(CameraWindow, ResizingTheAreaRefitsThePreview) {
    open();
    window->resize(1600, 900);
    ASSERT_TRUE(qv::test::waitUntil([&] { return preview()->frameSize() == QSizeF(1600, 900); }));
    EXPECT_EQ(*controller()->previewLayerFrame(), QRectF(0, 0, 1600, 900));
    EXPECT_DOUBLE_EQ(qv::app::currentZoomFactor, 1.25);
    EXPECT_DOUBLE_EQ(controller()->fitZoomFactor(), 1.25);
}

namespace {

// Solid-colour page pictures standing in for the web panels.
class FakePages : public SnapshotPictureProvider {
public:
    bool boardFails = false;
    bool browserShown = false;
    bool browserFails = false;
    int boardRequests = 0;

    void whiteboardPicture(BoardCompletion completion) override {
        ++boardRequests;
        if (boardFails) return completion(std::nullopt, QStringLiteral("page gone"));
        QImage board(1280, 800, QImage::Format_ARGB32);
        board.fill(Qt::transparent);
        for (int y = 700; y < 800; ++y)
            for (int x = 0; x < 100; ++x) board.setPixel(x, y, qRgb(255, 0, 255));  // bottom-left square
        completion(board, QString());
    }
    QRectF whiteboardContainerFrame() const override { return QRectF(0, 0, 1280, 800); }
    bool isBrowserShown() const override { return browserShown; }
    QRectF browserContainerFrame() const override { return QRectF(100, 50, 800, 600); }
    double browserOpacity() const override { return 1.0; }
    void browserPicture(BrowserCompletion completion) override {
        if (browserFails) return completion(std::nullopt);
        QImage page(800, 600, QImage::Format_RGB32);
        page.fill(Qt::white);
        completion(page);
    }
};

}  // namespace

TEST_F(CameraWindow, SnapshotLayersFromPagePictures) {
    open();
    useTemporarySaveFolder();
    auto pages = std::make_shared<FakePages>();
    pages->browserShown = true;
    controller()->setSnapshotPictureProvider(pages);
    controller()->capturePhoto();
    ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(note::ImageCaptured) == 1; }, 10000));
    const QImage file(log.all(note::ImageCaptured)[0].userInfo.value("url").toUrl().toLocalFile());
    ASSERT_EQ(file.size(), QSize(1280, 800));
    EXPECT_EQ(file.pixel(50, 750), qRgb(255, 0, 255));    // board square over the photo
    EXPECT_EQ(file.pixel(500, 300), qRgb(255, 255, 255));  // browser page: rows 40 ... 639 from the top
    EXPECT_NE(file.pixel(1200, 300), qRgb(255, 255, 255));  // photo beside it
    EXPECT_EQ(pages->boardRequests, 1);
}

TEST_F(CameraWindow, FailingPagePicturesLeaveTheirLayerOutAndSayWhy) {
    open();
    useTemporarySaveFolder();
    auto pages = std::make_shared<FakePages>();
    pages->boardFails = true;
    pages->browserShown = true;
    pages->browserFails = true;
    controller()->setSnapshotPictureProvider(pages);
    testing::internal::CaptureStdout();
    controller()->capturePhoto();
    const bool posted = qv::test::waitUntil([&] { return log.count(note::ImageCaptured) == 1; }, 10000);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(posted);
    EXPECT_NE(printed.find("Snapshot without the whiteboard picture: page gone"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Snapshot without the browser picture"), std::string::npos);
    const QImage file(log.all(note::ImageCaptured)[0].userInfo.value("url").toUrl().toLocalFile());
    EXPECT_NE(file.pixel(500, 300), qRgb(255, 255, 255));
    EXPECT_EQ(qAlpha(file.pixel(500, 300)), 255);  // the photo is there
}
