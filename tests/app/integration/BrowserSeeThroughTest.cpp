// The browser panel over the live camera is see-through wherever its page draws no background:
// after an opaque page in the same panel, and once Background Removal takes an opaque page's
// background away. Judged by the pixels the X screen shows and by the snapshot's pixels.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/ContentView.h"
#include "app/integration/PageInput.h"
#include "app/rootview/RootView.h"
#include "app/rootview/RootViewParts.h"
#include "capture/CameraController.h"
#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/ContentWindow.h"
#include "support/LocalServer.h"
#include "support/QtWait.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/WebView.h"

using namespace qv::app;
using qv::test::evaluate;
using qv::test::waitUntil;
namespace nt = qv::app::notification;

namespace {

QImage onScreen(QWidget& window) {
    return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

bool near(QColor a, QColor b, int tolerance = 28) {
    return qAbs(a.red() - b.red()) < tolerance && qAbs(a.green() - b.green()) < tolerance &&
           qAbs(a.blue() - b.blue()) < tolerance;
}

// How much of `area` in `shown` is what `below` shows there: the camera through the page.
struct Through {
    int matching = 0, compared = 0;
    bool holds() const { return compared > 100 && matching * 20 >= compared * 19; }
    std::string text() const { return std::to_string(matching) + " of " + std::to_string(compared) + " pixels"; }
};
Through cameraThrough(const QImage& shown, const QImage& below, const QRect& area) {
    Through t;
    const QRect r = area.intersected(shown.rect()).intersected(below.rect());
    for (int y = r.top(); y <= r.bottom(); y += 4)
        for (int x = r.left(); x <= r.right(); x += 4) {
            ++t.compared;
            t.matching += near(shown.pixelColor(x, y), below.pixelColor(x, y));
        }
    return t;
}

void writePage(const QString& path, const QByteArray& html) {
    QFile page(path);
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(html);
}

}  // namespace

TEST(BrowserOverCamera, PagesWithoutBackgroundShowTheCameraOnScreenAndInTheSnapshot) {
    QTemporaryDir config, save, site;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    auto folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(save.path()));
    QDir().mkpath(folders->imagesFolderURL);
    setFolderLocations(folders);
    // An opaque page with words all over it, and a page that draws nothing but one word at its top.
    QByteArray words;
    for (int i = 0; i < 40; ++i) words += "Yellow page words over the whole page. ";
    writePage(site.filePath("yellow.html"), "<html><body style='margin:0;background:rgb(255,230,0);font:32px sans-serif'>" +
                                                words + "</body></html>");
    writePage(site.filePath("clear.html"), "<html><body style='margin:0;font:16px sans-serif'>Clear</body></html>");
    writePage(site.filePath("opaque.html"),
              "<html><body style='margin:0;background:rgb(255,230,0);font:16px sans-serif'>Opaque</body></html>");
    qv::server::HttpServer pages;
    pages.router.addRoute(std::nullopt, "/:path", qv::server::fileShareHandler(site.path().toStdString(), {"index.html"}));
    ASSERT_TRUE(qv::test::startServer(pages, 0));

    QObject observer;
    bool started = false;
    QUrl captured;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(&observer, nt::CameraStarted, [&](const Notification&) { started = true; });
    center.addObserver(&observer, nt::ImageCaptured, [&](const Notification& n) { captured = n.userInfo.value("url").toUrl(); });
    QWidget window;
    ContentView* content = qv::test::showContentWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitUntil([&] { return started && sharedCameraController && sharedCameraController->isSessionRunning(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return sharedCameraController->framesReceived() > 5; }, 20000));
    auto takeSnapshot = [&] {
        captured.clear();
        sharedCameraController->capturePhoto();
        EXPECT_TRUE(waitUntil([&] { return captured.isValid(); }, 20000));
        return QImageReader(captured.toLocalFile()).read().convertToFormat(QImage::Format_RGB32);
    };
    // The camera's still test picture, on screen and in a snapshot, before the panel opens.
    const QImage cameraOnScreen = onScreen(window);
    const QImage cameraSnapshot = takeSnapshot();
    ASSERT_FALSE(cameraSnapshot.isNull());

    CameraArea* area = content->rootView()->cameraArea();
    qv::webpanels::BrowserView* browser = qv::test::openBrowserPanel(area);
    ASSERT_TRUE(browser);
    auto load = [&](const QString& name) {
        ASSERT_TRUE(qv::test::loadInPanel(browser,
                                          QString("localhost:%1/%2").arg(pages.localPort()).arg(name), name));
    };
    QWebEnginePage* page = browser->browserWebView()->wkWebView()->page();
    ASSERT_TRUE(waitUntil([&] { return area->browserPanel()->width() > 700; }, 10000));

    // Below the page's first line, inside the corner grip and the edges; in the snapshot the page
    // lies 10 points higher than on screen.
    auto pageOnScreen = [&] {
        return QRect(browser->pageArea()->mapTo(&window, QPoint(0, 0)), browser->pageArea()->size()).adjusted(40, 60, -40, -40);
    };
    auto pageInSnapshot = [&] {
        const QWidget* board = whiteboardWebView->parentWidget();
        return QRect(browser->pageArea()->mapTo(board, QPoint(0, 0)), browser->pageArea()->size())
            .translated(0, -10)
            .adjusted(40, 60, -40, -40);
    };
    QImage screen;
    Through seen;
    auto screenShowsCamera = [&](bool expected) {
        return waitUntil([&] {
            screen = onScreen(window);
            seen = cameraThrough(screen, cameraOnScreen, pageOnScreen());
            return seen.holds() == expected;
        }, 20000);
    };

    // The opaque page hides the camera.
    load("yellow.html");
    EXPECT_TRUE(screenShowsCamera(false)) << "the yellow page on screen: " << seen.text() << " camera";

    // The next page draws no background: the camera shows through it, on screen and in the
    // snapshot, without the yellow or the words of the page before.
    load("clear.html");
    EXPECT_TRUE(screenShowsCamera(true)) << "the clear page on screen: " << seen.text() << " camera";
    qv::test::saveWindowPicture(window, "browser-see-through.png");
    seen = cameraThrough(takeSnapshot(), cameraSnapshot, pageInSnapshot());
    EXPECT_TRUE(seen.holds()) << "the clear page in the snapshot: " << seen.text() << " camera";

    // Background Removal takes an opaque page's background away: the camera again.
    load("opaque.html");
    EXPECT_TRUE(screenShowsCamera(false)) << "the opaque page: " << seen.text() << " camera";
    browser->setEnableRemoveBackground(true);
    ASSERT_TRUE(waitUntil([&] {
        return evaluate(page, "getComputedStyle(document.body).backgroundColor").toString() == "rgba(0, 0, 0, 0)";
    }, 10000));
    EXPECT_TRUE(screenShowsCamera(true)) << "the page without its background on screen: " << seen.text() << " camera";
    seen = cameraThrough(takeSnapshot(), cameraSnapshot, pageInSnapshot());
    EXPECT_TRUE(seen.holds()) << "the page without its background in the snapshot: " << seen.text() << " camera";
    browser->setEnableRemoveBackground(false);
    center.removeObservers(&observer);
    setFolderLocations(nullptr);
    pages.stop();
}
