#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "app/ContentView.h"
#include "app/rootview/RootView.h"
#include "app/rootview/RootViewParts.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "capture/CameraController.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/Popover.h"
#include "controlbar/QVImageButton.h"
#include "support/QtWait.h"
#include "util/BuildInfo.h"
#include "webpanels/WebView.h"

using namespace qv::app;
namespace nt = qv::app::notification;

namespace {

#ifdef QV_SCREENS_WENDLE
constexpr bool kWendle = true;
constexpr const char* kEdition = "wendle";
#define QV_SCREENS_SUITE WendleMainWindowScreens
#else
#define QV_SCREENS_SUITE MainWindowScreens
constexpr bool kWendle = false;
constexpr const char* kEdition = "vemo";
#endif

// Saves what the X screen shows inside the window (popups included) when QV_SCREENSHOT_DIR is set.
void shot(QWidget& window, const QString& name) {
    QCoreApplication::processEvents();
    qv::test::spin(300);
    const QString dir = qEnvironmentVariable("QV_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    const QRect frame = window.frameGeometry();
    const QPixmap picture =
        QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = QDir(dir).filePath(QStringLiteral("%1-%2.png").arg(kEdition, name));
    ASSERT_TRUE(picture.save(path)) << path.toStdString();
    std::cout << "screenshot: " << path.toStdString() << std::endl;
}

}  // namespace

TEST(QV_SCREENS_SUITE, BarStatesSnapshotAndSideBySide) {
    if (kWendle) setApplicationId(QString::fromUtf8(qv::util::build::wendleApplicationId));
    ASSERT_EQ(isWendleEdition(), kWendle);
    QTemporaryDir config, save;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    // The synthetic camera of the shared fixture (unless the caller chose other devices).
    if (qEnvironmentVariableIsEmpty("QUORVANE_SYNTHETIC_DEVICES"))
        qputenv("QUORVANE_SYNTHETIC_DEVICES", QV_TEST_FIXTURES_DIR "/synthetic-devices.json");
    auto folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(save.path()));
    ASSERT_TRUE(QDir().mkpath(folders->imagesFolderURL));
    ASSERT_TRUE(QDir().mkpath(folders->videosFolderURL));
    setFolderLocations(folders);

    QObject observer;
    bool started = false;
    QUrl captured;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(&observer, nt::CameraStarted, [&](const Notification&) { started = true; });
    center.addObserver(&observer, nt::ImageCaptured,
                       [&](const Notification& n) { captured = n.userInfo.value("url").toUrl(); });

    bool pageLoaded = false;
    center.addObserver(&observer, nt::showLoadingMarrowPanel,
                       [&](const Notification& n) { pageLoaded = !n.userInfo.value("show").toBool(); });

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* content = new ContentView;
    layout->addWidget(content);
    window.resize(1280, 800);
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    if (kWendle) {
        // The start-up picture, over the camera for its first two seconds.
        auto* camera = content->rootView()->cameraArea()->cameraView();
        ASSERT_TRUE(qv::test::waitUntil([&] { return camera->findChild<QLabel*>() != nullptr; }, 10000));
        qv::test::spin(300);
        shot(window, "startup-picture");
    }
    ASSERT_TRUE(qv::test::waitUntil(
        [&] { return started && sharedCameraController && sharedCameraController->isSessionRunning(); }, 30000));
    // Frames on screen, and the Wendle edition's start-up picture gone.
    ASSERT_TRUE(qv::test::waitUntil([&] { return sharedCameraController->framesReceived() > 10; }, 10000));
    qv::test::spin(2500);

    auto* bar = content->rootView()->controlBar();
    EXPECT_EQ(bool(bar->button("toolbar_openfile")), kWendle);
    EXPECT_EQ(bool(bar->button("toolbar_viewer")), kWendle);
    EXPECT_EQ(bool(bar->button("toolbar_rotate_left")), !kWendle);
    EXPECT_EQ(bool(content->rootView()->fileLibrary()), kWendle);
    shot(window, "expanded");
    if (kWendle) return;

    QTest::mouseClick(bar->collapseTab(), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->bar()->isHidden(); }, 3000));
    shot(window, "collapsed");
    QTest::mouseClick(bar->collapseTab(), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->slideOffset() == 0 && !bar->bar()->isHidden(); }, 3000));

    QTest::mouseClick(bar->button("toolbar_view"), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->popover("ViewOption")->isVisible(); }, 2000));
    shot(window, "view-option");
    bar->popover("ViewOption")->hide();

    // Snapshot: a PNG in the images folder, shown as the bar's round thumbnail.
    QTest::mouseClick(bar->button("toolbar_snapshot"), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return captured.isValid(); }, 10000));
    const QString file = captured.toLocalFile();
    EXPECT_EQ(QFileInfo(file).absolutePath(), folders->imagesFolderURL);
    EXPECT_TRUE(file.endsWith(".png"));
    QImageReader reader(file);
    EXPECT_EQ(reader.format(), "png");
    EXPECT_FALSE(reader.read().isNull());
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->thumbnail() != nullptr; }, 2000));

    QTest::mouseClick(bar->thumbnail(), Qt::LeftButton);
    auto* pane = content->rootView()->sideBySidePane();
    ASSERT_TRUE(qv::test::waitUntil([&] { return pane->isVisible() && pane->width() > 500; }, 3000));
    EXPECT_EQ(content->rootView()->model().shareUrl, captured);
    shot(window, "side-by-side");
    QTest::mouseClick(pane->closeButton(), Qt::LeftButton);

    // A stroke drawn from the picture over the bar: the ink stays under the bar.
    ASSERT_TRUE(qv::test::waitUntil([&] { return pageLoaded && whiteboardWebView; }, 60000));
    ASSERT_TRUE(qv::test::waitUntil([&] { return whiteboardWebView->wkWebView()->focusProxy() != nullptr; }, 20000));
    whiteboardWebView->evaluateScript("allowAnnotation(true)");
    qv::test::spin(500);
    QWidget* page = whiteboardWebView->wkWebView()->focusProxy();
    const QRect barRect(bar->bar()->mapTo(&window, QPoint(0, 0)), bar->bar()->size());
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), QPointF(page->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &e);
        qv::test::spin(15);
    };
    const QPoint from(barRect.left() - 120, barRect.top() - 140), to(barRect.right() + 60, barRect.center().y() + 4);
    send(QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 20; ++i) send(QEvent::MouseMove, from + (to - from) * i / 20, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    qv::test::spin(700);
    shot(window, "stroke-near-bar");

    // A snapshot that cannot be written: the images folder is a file now. The window says so.
    QDir(folders->imagesFolderURL).removeRecursively();
    QFile blocker(folders->imagesFolderURL);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::mouseClick(bar->button("toolbar_snapshot"), Qt::LeftButton);
    auto* root = content->rootView();
    ASSERT_TRUE(qv::test::waitUntil([&] { return root->message() && root->message()->isVisible(); }, 10000));
    EXPECT_TRUE(root->message()->text().contains(folders->imagesFolderURL));
    shot(window, "failure-message");
}
