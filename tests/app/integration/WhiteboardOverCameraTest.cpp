// The live camera under the whiteboard page in the real main-window composition: a stroke drawn
// with the mouse lands in the snapshot beside the camera picture, and with annotation off a drag
// through the page pans the zoomed camera.
#include <gtest/gtest.h>

#include <QDir>
#include <QImageReader>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <set>

#include "app/ContentView.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "capture/CameraController.h"
#include "app/integration/PageInput.h"
#include "support/QtWait.h"
#include "support/TestPictures.h"
#include "webpanels/WebView.h"

using namespace qv::app;
using qv::test::drag;
using qv::test::evaluate;
using qv::test::waitUntil;
namespace nt = qv::app::notification;

namespace {

bool penRedNear(const QImage& image, QPoint p) {
    for (int dy = -5; dy <= 5; ++dy)
        for (int dx = -5; dx <= 5; ++dx) {
            const QColor c = image.pixelColor(p + QPoint(dx, dy));
            if (c.red() > 200 && c.green() < 90 && c.blue() < 90) return true;
        }
    return false;
}

// How many of the test pattern's bar colours a row shows: a camera picture shows several.
int barColoursInRow(const QImage& image, int y) {
    std::set<QString> seen;
    for (int x = 0; x < image.width(); x += 8) {
        const QColor c = image.pixelColor(x, y);
        const bool hi[3] = {c.red() > 170, c.green() > 170, c.blue() > 170};
        const bool lo[3] = {c.red() < 60, c.green() < 60, c.blue() < 60};
        if (hi[0] && hi[1] && lo[2]) seen.insert("yellow");
        if (lo[0] && hi[1] && hi[2]) seen.insert("cyan");
        if (lo[0] && hi[1] && lo[2]) seen.insert("green");
        if (hi[0] && lo[1] && hi[2]) seen.insert("magenta");
        if (lo[0] && lo[1] && hi[2]) seen.insert("blue");
    }
    return int(seen.size());
}

}  // namespace

TEST(WhiteboardOverCamera, StrokeReachesTheSnapshotAndADragPansTheZoomedCamera) {
    QTemporaryDir config, save;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    auto folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(save.path()));
    ASSERT_TRUE(QDir().mkpath(folders->imagesFolderURL));
    setFolderLocations(folders);

    QObject observer;
    bool started = false, pageLoaded = false;
    QUrl captured;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(&observer, nt::CameraStarted, [&](const Notification&) { started = true; });
    center.addObserver(&observer, nt::showLoadingMarrowPanel,
                       [&](const Notification& n) { pageLoaded = !n.userInfo.value("show").toBool(); });
    center.addObserver(&observer, nt::ImageCaptured,
                       [&](const Notification& n) { captured = n.userInfo.value("url").toUrl(); });

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new ContentView);
    window.resize(1280, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitUntil([&] { return started && sharedCameraController && sharedCameraController->isSessionRunning(); },
                          30000));
    ASSERT_TRUE(waitUntil([&] { return pageLoaded && whiteboardWebView; }, 60000)) << "the whiteboard never loaded";
    QWebEnginePage* page = whiteboardWebView->wkWebView()->page();
    ASSERT_TRUE(waitUntil([&] { return evaluate(page, "typeof allowAnnotation").toString() == "function"; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return whiteboardWebView->wkWebView()->focusProxy() != nullptr; }, 20000));
    QWidget* input = whiteboardWebView->wkWebView()->focusProxy();

    // Draw across the upper bars with annotation on, then snapshot.
    whiteboardWebView->evaluateScript("allowAnnotation(true)");
    evaluate(page, "1");
    const QPoint from(400, 250), to(700, 260);
    drag(input, from, to);
    qv::test::spin(300);
    sharedCameraController->capturePhoto();
    ASSERT_TRUE(waitUntil([&] { return captured.isValid(); }, 20000));
    QImage snapshot = QImageReader(captured.toLocalFile()).read();
    ASSERT_FALSE(snapshot.isNull());
    qv::test::saveTestPicture(snapshot, "snapshot-with-stroke.png");
    const QSize container = whiteboardWebView->parentWidget()->size();
    EXPECT_EQ(snapshot.size(), container);
    const QPoint inBoard = whiteboardWebView->mapTo(whiteboardWebView->parentWidget(), QPoint(0, 0));
    EXPECT_TRUE(penRedNear(snapshot, inBoard + (from + to) / 2)) << "the stroke is missing from the snapshot";
    EXPECT_GE(barColoursInRow(snapshot, inBoard.y() + 150), 4) << "the camera picture is missing from the snapshot";

    // Annotation off: a drag through the page moves the zoomed picture.
    whiteboardWebView->evaluateScript("allowAnnotation(false)");
    evaluate(page, "1");
    sharedCameraController->setZoom(2.0);
    ASSERT_TRUE(waitUntil([&] { return sharedCameraController->previewLayerFrame().has_value(); }, 5000));
    const QRectF before = *sharedCameraController->previewLayerFrame();
    drag(input, QPoint(600, 400), QPoint(700, 450));
    ASSERT_TRUE(waitUntil([&] { return sharedCameraController->previewLayerFrame() != before; }, 5000))
        << "the drag did not pan the camera";
    EXPECT_EQ(sharedCameraController->previewLayerFrame()->size(), before.size());
}
