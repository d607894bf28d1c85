// What the teacher sees of the main window, judged by the pixels the screen shows: the whiteboard's
// ink lies below the control bar and every panel (the web engine draws a transparent page above
// all other widgets, so this is what can go wrong), a snapshot holds the drawing without the
// page's own toolbar, and the browser's transparency fades its whole page over the camera, on the
// screen and in the snapshot alike.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/ContentView.h"
#include "app/DesktopKeys.h"
#include "app/rootview/RootView.h"
#include "app/rootview/RootViewParts.h"
#include "capture/CameraController.h"
#include "controlbar/ControlBarView.h"
#include "library/ArchiveListView.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "app/integration/PageInput.h"
#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "support/LocalServer.h"
#include "support/QtWait.h"
#include "support/TestPictures.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/WebView.h"

using namespace qv::app;
using qv::test::evaluate;
using qv::test::waitUntil;
namespace nt = qv::app::notification;

namespace {

// A pen stroke: the pointer goes down on the page and is held there (the page keeps it) while it
// passes under whatever lies above.
void stroke(QWidget* page, QPoint from, QPoint to, int steps = 16) { qv::test::drag(page, from, to, steps); }

// The pen in the page's green (#43a047): no colour of the camera's test bars, the bar's icons or
// the panels comes near it.
constexpr const char* kInkColour = "#43a047";
bool isInk(QRgb c) {
    return qAbs(qRed(c) - 0x43) < 22 && qAbs(qGreen(c) - 0xa0) < 22 && qAbs(qBlue(c) - 0x47) < 22;
}

std::string inkPlaces(const QImage& image, const QRect& area) {
    std::string out;
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom() && n < 6; ++y)
        for (int x = r.left(); x <= r.right() && n < 6; ++x)
            if (isInk(image.pixel(x, y))) {
                out += " " + std::to_string(x) + "," + std::to_string(y);
                ++n;
            }
    return out;
}

int inkIn(const QImage& image, const QRect& area) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += isInk(image.pixel(x, y));
    return n;
}

// What the X server shows in the window: the web engine's composition, not a widget's own drawing.
QImage onScreen(QWidget& window) {
    return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

QRect inWindow(const QWidget* w, const QWidget& window) { return QRect(w->mapTo(&window, QPoint(0, 0)), w->size()); }

void useGreenPen(QWebEnginePage* page) {
    evaluate(page, QStringLiteral("document.querySelector('[data-colour=\"%1\"]').click()").arg(kInkColour));
}

struct MainWindowScene {
    QTemporaryDir config, save;
    std::shared_ptr<FolderLocations> folders;
    QObject observer;
    bool started = false, pageLoaded = false;
    QUrl captured;
    QWidget window;
    ContentView* content;

    MainWindowScene() {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(save.path()));
        QDir().mkpath(folders->imagesFolderURL);
        setFolderLocations(folders);
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(&observer, nt::CameraStarted, [this](const Notification&) { started = true; });
        center.addObserver(&observer, nt::showLoadingMarrowPanel,
                           [this](const Notification& n) { pageLoaded = !n.userInfo.value("show").toBool(); });
        center.addObserver(&observer, nt::ImageCaptured,
                           [this](const Notification& n) { captured = n.userInfo.value("url").toUrl(); });
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        content = new ContentView;
        layout->addWidget(content);
        window.resize(1280, 800);
        window.move(0, 0);
        window.show();
    }
    ~MainWindowScene() { setFolderLocations(nullptr); }

    void waitUntilReady() {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(waitUntil([&] { return started && sharedCameraController && sharedCameraController->isSessionRunning(); },
                              30000));
        ASSERT_TRUE(waitUntil([&] { return pageLoaded && whiteboardWebView; }, 60000)) << "the whiteboard never loaded";
        ASSERT_TRUE(waitUntil([&] { return evaluate(page(), "typeof allowAnnotation").toString() == "function"; }, 20000));
        ASSERT_TRUE(waitUntil([&] { return whiteboardWebView->wkWebView()->focusProxy() != nullptr; }, 20000));
        ASSERT_TRUE(waitUntil([&] { return sharedCameraController->framesReceived() > 5; }, 20000));
    }
    RootView* root() const { return content->rootView(); }
    QWebEnginePage* page() const { return whiteboardWebView->wkWebView()->page(); }
    QWidget* input() const { return whiteboardWebView->wkWebView()->focusProxy(); }
};

}  // namespace

TEST(TeacherView, InkLiesBelowTheBarAndEveryPanelInTheirOrder) {
    MainWindowScene scene;
    scene.waitUntilReady();
    RootView* root = scene.root();

    // The archive list has slid out of view but for its handle.
    auto* archiveList = qobject_cast<qv::library::ArchiveListView*>(root->archiveList());
    ASSERT_NE(archiveList, nullptr);
    ASSERT_TRUE(waitUntil([&] { return archiveList->hideArchiveList() && archiveList->shift() == 140; }, 20000));

    // Ink across the whole picture first: strokes from the right edge, where nothing lies over
    // the page, to the left edge, at every height down to the bar.
    whiteboardWebView->evaluateScript("allowAnnotation(true)");
    evaluate(scene.page(), "1");
    useGreenPen(scene.page());
    auto* bar = root->controlBar();
    const int bottom = scene.window.height() - 6;
    int strokes = 0;
    for (int y = 64; y <= bottom; y += 22, ++strokes) stroke(scene.input(), QPoint(1275, y), QPoint(4, y), 12);
    ASSERT_TRUE(waitUntil([&] { return evaluate(scene.page(), "marrowPanel.strokeCount()").toInt() == strokes; }, 20000))
        << evaluate(scene.page(), "marrowPanel.strokeCount()").toInt() << " of " << strokes << " strokes";

    // Then every layer above the page that can be open at once.
    post(nt::OpenPIPCamera);
    post(nt::OpenBrowser, {{"pdfMode", false}});
    post(nt::OpenTunnelList);
    post(nt::OpenGifGenerator);
    post(nt::OpenKestrixConfig);
    root->showMessage(QStringLiteral("A message above everything"));
    CameraArea* area = root->cameraArea();
    ASSERT_TRUE(waitUntil([&] { return area->browserPanel() && area->pipWindow() && root->kestrixConfig(); }, 5000));
    qv::test::spin(800);  // the browser takes its size half a second after it shows

    // The stacking order of the widgets follows the layers.
    const auto siblings = root->children();
    auto index = [&](const QObject* o) { return siblings.indexOf(const_cast<QObject*>(o)); };
    EXPECT_LT(index(root->splitter()), index(root->archiveList()));
    EXPECT_LT(index(root->archiveList()), index(root->controlBar()));
    EXPECT_LT(index(root->controlBar()), index(root->tunnelList()));
    EXPECT_LT(index(root->tunnelList()), index(root->gifGenerator()));
    EXPECT_LT(index(root->gifGenerator()), index(root->kestrixConfig()));
    EXPECT_LT(index(root->kestrixConfig()), index(root->message()));
    const auto inArea = area->children();
    EXPECT_LT(inArea.indexOf(area->cameraView()), inArea.indexOf(area->whiteboard()));
    EXPECT_LT(inArea.indexOf(area->whiteboard()), inArea.indexOf(area->browserPanel()));
    EXPECT_LT(inArea.indexOf(area->browserPanel()), inArea.indexOf(area->pipWindow()));

    const QRect barRect = inWindow(bar->bar(), scene.window);
    const QRect tabRect = inWindow(bar->collapseTab(), scene.window);
    // Of the collapsed archive list only its handle's edge shows; the rest of its rectangle is
    // the page's.
    const QRect archive = inWindow(root->archiveList(), scene.window);
    const QRect archiveHandle = inWindow(archiveList->handle(), scene.window).intersected(archive);
    ASSERT_LE(archiveHandle.width(), 20);
    const QRect archiveOldPlace(archiveHandle.right() + 6, archive.top() + 3, archive.width() - archiveHandle.width() - 9,
                                archive.height() - 6);
    const QRect pipBox = inWindow(area->pipWindow(), scene.window).adjusted(20, 20, -20, -20);
    const QRect browser = inWindow(area->browserPanel(), scene.window);
    const QRect centred = inWindow(root->kestrixConfig(), scene.window);
    const QRect message = inWindow(root->message(), scene.window);
    struct Covered {
        const char* name;
        QRect rect;
    } covered[] = {
        {"control bar", barRect.adjusted(12, 2, -12, -2)},
        {"collapse tab", tabRect.adjusted(2, 2, -2, -2)},
        {"archive list's handle", archiveHandle.adjusted(2, 3, -2, -3)},
        {"picture-in-picture window", pipBox.adjusted(2, 2, -2, -2)},
        {"browser panel", browser.adjusted(3, 3, -3, -3)},
        {"pairing panel", centred.adjusted(3, 3, -3, -3)},
        {"failure message", message.adjusted(3, 3, -3, -3)},
    };
    QImage screen;
    // The ink shows where nothing covers the page, and nowhere under the layers above it.
    const QPoint freeInk(1200, 64);
    EXPECT_TRUE(waitUntil([&] {
        screen = onScreen(scene.window);
        if (inkIn(screen, QRect(freeInk - QPoint(8, 8), QSize(16, 16))) == 0) return false;
        if (inkIn(screen, archiveOldPlace) == 0) return false;
        for (const auto& c : covered)
            if (inkIn(screen, c.rect) > 0) return false;
        return true;
    }, 20000));
    qv::test::saveTestPicture(screen, "ink-below-panels.png");
    EXPECT_GT(inkIn(screen, QRect(freeInk - QPoint(8, 8), QSize(16, 16))), 0) << "no ink where nothing covers it";
    EXPECT_GT(inkIn(screen, archiveOldPlace), 0) << "no ink where the collapsed archive list was";
    for (const auto& c : covered)
        EXPECT_EQ(inkIn(screen, c.rect), 0) << "ink over the " << c.name << " at" << inkPlaces(screen, c.rect);

    // The same after annotation is off and the bar is collapsed and restored.
    whiteboardWebView->evaluateScript("allowAnnotation(false)");
    QTest::mouseClick(bar->collapseTab(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return bar->bar()->isHidden(); }, 3000));
    QTest::mouseClick(bar->collapseTab(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return bar->slideOffset() == 0 && !bar->bar()->isHidden(); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return inkIn(onScreen(scene.window), barRect.adjusted(12, 2, -12, -2)) == 0; }, 10000))
        << "ink over the restored bar";

    // Closing the panels gives their places back to the ink.
    post(nt::OpenKestrixConfig);
    post(nt::OpenGifGenerator);
    post(nt::OpenTunnelList);
    post(nt::OpenPIPCamera);
    ASSERT_TRUE(waitUntil([&] { return !area->pipWindow() && !root->kestrixConfig(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return inkIn(onScreen(scene.window), pipBox.adjusted(2, 2, -2, -2)) > 0; }, 10000))
        << "the ink did not come back where the picture-in-picture window was";
}

TEST(TeacherView, AStrokeBegunWhereTheCollapsedArchiveListWasShowsOnScreenAndInTheSnapshot) {
    MainWindowScene scene;
    scene.waitUntilReady();
    auto* archiveList = qobject_cast<qv::library::ArchiveListView*>(scene.root()->archiveList());
    ASSERT_NE(archiveList, nullptr);
    ASSERT_TRUE(waitUntil([&] { return archiveList->hideArchiveList() && archiveList->shift() == 140; }, 20000));
    const QRect archive = inWindow(archiveList, scene.window);
    const QRect handle = inWindow(archiveList->handle(), scene.window).intersected(archive);

    // From inside the list's old rectangle, above its handle, out over the picture.
    whiteboardWebView->evaluateScript("allowAnnotation(true)");
    ASSERT_TRUE(waitUntil([&] { return evaluate(scene.page(), "marrowPanel.isAnnotating()").toBool(); }, 20000));
    useGreenPen(scene.page());
    const int y = archive.top() + 8;
    ASSERT_LT(y, handle.top()) << "the stroke would pass over the handle";
    stroke(scene.input(), QPoint(archive.left() + 30, y), QPoint(archive.right() + 200, y));
    ASSERT_TRUE(waitUntil([&] { return evaluate(scene.page(), "marrowPanel.strokeCount()").toInt() == 1; }, 20000))
        << "a press where the list was drew nothing";
    const QRect oldPlace(archive.left() + 30, y - 6, archive.width() - 30, 12);
    EXPECT_TRUE(waitUntil([&] { return inkIn(onScreen(scene.window), oldPlace) > 0; }, 10000))
        << "the ink is hidden where the list was";

    scene.captured.clear();
    sharedCameraController->capturePhoto();
    ASSERT_TRUE(waitUntil([&] { return scene.captured.isValid(); }, 20000));
    const QImage snapshot = QImageReader(scene.captured.toLocalFile()).read().convertToFormat(QImage::Format_RGB32);
    const QPoint boardOrigin = whiteboardWebView->mapTo(&scene.window, QPoint(0, 0));
    EXPECT_GT(inkIn(snapshot, oldPlace.translated(-boardOrigin)), 0) << "the snapshot lacks the ink";
}

TEST(TeacherView, SnapshotHoldsTheInkAndNotThePageToolbar) {
    MainWindowScene scene;
    scene.waitUntilReady();
    auto* bar = scene.root()->controlBar();

    // Annotating shows the page's toolbar at the top; the stroke runs under the bar too.
    whiteboardWebView->evaluateScript("allowAnnotation(true)");
    ASSERT_TRUE(waitUntil([&] { return evaluate(scene.page(), "marrowPanel.isAnnotating()").toBool(); }, 20000));
    useGreenPen(scene.page());
    const QRect barRect = inWindow(bar->bar(), scene.window);
    const QPoint from(barRect.left() - 100, barRect.center().y()), to(barRect.right() - 40, barRect.center().y());
    stroke(scene.input(), from, to);
    ASSERT_TRUE(waitUntil([&] { return evaluate(scene.page(), "marrowPanel.strokeCount()").toInt() == 1; }, 20000));
    const QVariantList toolbar =
        evaluate(scene.page(), "(r => [r.left, r.top, r.width, r.height])(document.getElementById('toolbar').getBoundingClientRect())")
            .toList();
    ASSERT_EQ(toolbar.size(), 4);
    const QRect toolbarRect(toolbar[0].toInt(), toolbar[1].toInt(), toolbar[2].toInt(), toolbar[3].toInt());
    ASSERT_GT(toolbarRect.width(), 100) << "the toolbar is not shown";

    // The page's picture: ink (also under the bar), nothing of the toolbar.
    auto result = std::make_shared<std::optional<QImage>>();
    whiteboardWebView->takeSnapshot([result](const QImage& picture, const QString&) { *result = picture; });
    ASSERT_TRUE(waitUntil([&] { return result->has_value(); }, 20000));
    const QImage board = **result;
    ASSERT_EQ(board.size(), whiteboardWebView->size());
    EXPECT_GT(inkIn(board.convertToFormat(QImage::Format_RGB32), QRect(to - QPoint(60, 6), QSize(40, 12))), 0)
        << "the ink under the bar is missing from the picture";
    int toolbarPixels = 0;
    for (int y = toolbarRect.top(); y < toolbarRect.bottom(); y += 2)
        for (int x = toolbarRect.left(); x < toolbarRect.right(); x += 2) toolbarPixels += qAlpha(board.pixel(x, y)) > 0;
    EXPECT_EQ(toolbarPixels, 0) << "the page's toolbar is in its picture";

    // The snapshot file shows at the toolbar's place what a snapshot without the toolbar shows.
    auto takeSnapshot = [&] {
        scene.captured.clear();
        sharedCameraController->capturePhoto();
        EXPECT_TRUE(waitUntil([&] { return scene.captured.isValid(); }, 20000));
        return QImageReader(scene.captured.toLocalFile()).read().convertToFormat(QImage::Format_RGB32);
    };
    const QImage snapshot = takeSnapshot();
    ASSERT_FALSE(snapshot.isNull());
    qv::test::saveTestPicture(snapshot, "snapshot-without-toolbar.png");
    whiteboardWebView->evaluateScript("allowAnnotation(false)");
    ASSERT_TRUE(waitUntil([&] { return !evaluate(scene.page(), "marrowPanel.isAnnotating()").toBool(); }, 20000));
    qv::test::spin(1100);  // a new file name (one-second names)
    const QImage reference = takeSnapshot();
    ASSERT_EQ(reference.size(), snapshot.size());
    int differing = 0, compared = 0;
    for (int y = toolbarRect.top() + 2; y < toolbarRect.bottom() - 2; y += 4)
        for (int x = toolbarRect.left() + 4; x < toolbarRect.right() - 4; x += 6) {
            const QColor a = snapshot.pixelColor(x, y), b = reference.pixelColor(x, y);
            ++compared;
            differing += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > 60;
        }
    ASSERT_GT(compared, 20);
    EXPECT_LT(differing, compared / 20) << "the toolbar is burned into the snapshot";
    EXPECT_GT(inkIn(snapshot, QRect(to - QPoint(60, 6), QSize(40, 12))), 0) << "the ink is missing from the snapshot";

    // The toolbar's text is in the program's own font.
    const QString family = QFontInfo(QApplication::font()).family();
    const QString used = evaluate(scene.page(), "getComputedStyle(document.querySelector('#toolbar button')).fontFamily").toString();
    EXPECT_TRUE(used.contains(family)) << used.toStdString() << " is not " << family.toStdString();
}

TEST(TeacherView, EscStaysWithATextFieldBeingEditedInThePage) {
    MainWindowScene scene;
    scene.waitUntilReady();
    qv::app::DesktopKeys keys(&scene.window);
    scene.window.setWindowState(Qt::WindowFullScreen);
    ASSERT_TRUE(waitUntil([&] { return scene.window.isFullScreen(); }, 5000));
    // A text field in the page, being edited: Esc is the page's.
    evaluate(scene.page(), "(() => { const f = document.createElement('input'); f.id = 'field';"
                           " document.body.append(f); f.focus(); })()");
    scene.input()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return evaluate(scene.page(), "document.activeElement.id").toString() == "field"; }, 10000));
    QTest::keyClick(scene.input(), Qt::Key_Escape);
    qv::test::spin(500);
    EXPECT_TRUE(scene.window.isFullScreen()) << "Esc in the page's text field left full screen";
    // Anywhere else in the page it leaves full screen; F11 brings it back.
    evaluate(scene.page(), "document.getElementById('field').blur()");
    QTest::keyClick(scene.input(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !scene.window.isFullScreen(); }, 10000)) << "Esc in the page did nothing";
    QTest::keyClick(scene.input(), Qt::Key_F11);
    EXPECT_TRUE(waitUntil([&] { return scene.window.isFullScreen(); }, 5000)) << "F11 in the page did nothing";
}

namespace {

// The browsed page's colour, over the camera picture `below` at `opacity`.
const QColor kPageColour(230, 0, 230);
QColor pageOver(const QColor& below, double opacity) {
    auto mix = [&](int page, int under) { return int(std::lround(page * opacity + under * (1 - opacity))); };
    return QColor(mix(kPageColour.red(), below.red()), mix(kPageColour.green(), below.green()),
                  mix(kPageColour.blue(), below.blue()));
}
bool near(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) < 28 && qAbs(a.green() - b.green()) < 28 && qAbs(a.blue() - b.blue()) < 28;
}

// How much of `area` in `shown` is the page at `opacity` over what `below` shows there, counted
// on every fourth pixel where the camera picture is unlike the page (elsewhere any opacity looks
// alike).
struct PageShare {
    int matching = 0, compared = 0;
    bool holds() const { return compared > 100 && matching * 10 >= compared * 9; }
    std::string text() const { return std::to_string(matching) + " of " + std::to_string(compared) + " pixels"; }
};
PageShare pageShare(const QImage& shown, const QImage& below, const QRect& area, double opacity) {
    PageShare share;
    const QRect r = area.intersected(shown.rect()).intersected(below.rect());
    for (int y = r.top(); y <= r.bottom(); y += 4)
        for (int x = r.left(); x <= r.right(); x += 4) {
            const QColor under = below.pixelColor(x, y);
            if (near(pageOver(under, 0.5), kPageColour)) continue;
            ++share.compared;
            share.matching += near(shown.pixelColor(x, y), pageOver(under, opacity));
        }
    return share;
}

}  // namespace

TEST(TeacherView, BrowserTransparencyFadesTheWholePageOnScreenAndInTheSnapshot) {
    // A page whose only colour is its body's background: it fills the whole canvas.
    QTemporaryDir site;
    {
        QFile page(QDir(site.path()).filePath("page.html"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<html><body style='margin:0;background:rgb(230,0,230)'></body></html>");
    }
    qv::server::HttpServer pages;
    pages.router.addRoute(std::nullopt, "/:path", qv::server::fileShareHandler(site.path().toStdString(), {"index.html"}));
    ASSERT_TRUE(qv::test::startServer(pages, 0));

    MainWindowScene scene;
    scene.waitUntilReady();
    auto takeSnapshot = [&] {
        scene.captured.clear();
        sharedCameraController->capturePhoto();
        EXPECT_TRUE(waitUntil([&] { return scene.captured.isValid(); }, 20000));
        return QImageReader(scene.captured.toLocalFile()).read().convertToFormat(QImage::Format_RGB32);
    };
    // What lies below the panel: the camera's still test picture, on screen and in a snapshot.
    const QImage cameraOnScreen = onScreen(scene.window);
    const QImage cameraSnapshot = takeSnapshot();
    ASSERT_FALSE(cameraSnapshot.isNull());

    CameraArea* area = scene.root()->cameraArea();
    auto shownBrowser = [&]() -> qv::webpanels::BrowserView* {
        return area->browserPanel() ? qobject_cast<qv::webpanels::BrowserView*>(area->browserPanel()->browser()) : nullptr;
    };
    post(nt::OpenBrowser, {{"pdfMode", false}});
    ASSERT_TRUE(waitUntil([&] { return shownBrowser() && browserWebView == shownBrowser()->browserWebView(); }, 5000));
    qv::webpanels::BrowserView* browser = shownBrowser();
    bool finished = false;
    QObject::connect(browser->browserWebView(), &qv::webpanels::BrowserWebView::navigationFinished,
                     [&](const QUrl& url) { finished = url.path().endsWith("page.html"); });
    browser->browserWebView()->loadURL(QString("localhost:%1/page.html").arg(pages.localPort()));
    ASSERT_TRUE(waitUntil([&] { return finished; }, 60000));

    // The panel takes its size a moment after it shows (wider than the 600 points it opens with).
    ASSERT_TRUE(waitUntil([&] { return area->browserPanel()->width() > 700; }, 10000));

    // The page area inside its edges (the corner grip lies on one), on screen and in a snapshot,
    // where the page lies 10 points higher than on screen.
    auto pageOnScreen = [&] { return inWindow(browser->pageArea(), scene.window).adjusted(40, 40, -40, -40); };
    auto pageInSnapshot = [&] {
        const QWidget* board = whiteboardWebView->parentWidget();
        return QRect(browser->pageArea()->mapTo(board, QPoint(0, 0)), browser->pageArea()->size())
            .translated(0, -10)
            .adjusted(40, 40, -40, -40);
    };
    QImage screen;
    PageShare seen;
    auto screenShows = [&](double opacity) {
        return waitUntil([&] {
            screen = onScreen(scene.window);
            seen = pageShare(screen, cameraOnScreen, pageOnScreen(), opacity);
            return seen.holds();
        }, 20000);
    };

    // Opaque, the page shows its own colour.
    browser->setOpacityValue(1.0);
    EXPECT_TRUE(screenShows(1.0)) << "the opaque page on screen: " << seen.text();

    // The slider at half: the camera shows through the whole page, its background too.
    browser->setShowPopoverSettings(true);
    ASSERT_TRUE(browser->settingsPopover());
    auto* slider = browser->settingsPopover()->findChild<QSlider*>("transparencySlider");
    ASSERT_NE(slider, nullptr);
    slider->setValue(500);
    browser->setShowPopoverSettings(false);
    EXPECT_DOUBLE_EQ(browser->opacityValue(), 0.5);
    EXPECT_TRUE(screenShows(0.5)) << "the half-transparent page on screen: " << seen.text();
    qv::test::saveTestPicture(screen, "browser-half-transparent.png");

    // The snapshot fades the page as the screen does.
    const QImage halfSnapshot = takeSnapshot();
    ASSERT_FALSE(halfSnapshot.isNull());
    qv::test::saveTestPicture(halfSnapshot, "browser-half-transparent-snapshot.png");
    seen = pageShare(halfSnapshot, cameraSnapshot, pageInSnapshot(), 0.5);
    EXPECT_TRUE(seen.holds()) << "the half-transparent page in the snapshot: " << seen.text();

    // Back to opaque: the page colour again, on screen and in the snapshot.
    slider->setValue(1000);
    EXPECT_TRUE(screenShows(1.0)) << "the opaque page on screen again: " << seen.text();
    qv::test::saveTestPicture(screen, "browser-opaque-again.png");
    const QImage opaqueSnapshot = takeSnapshot();
    ASSERT_FALSE(opaqueSnapshot.isNull());
    seen = pageShare(opaqueSnapshot, cameraSnapshot, pageInSnapshot(), 1.0);
    EXPECT_TRUE(seen.holds()) << "the opaque page in the snapshot: " << seen.text();
    pages.stop();
}
