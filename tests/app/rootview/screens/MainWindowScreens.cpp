#include <gtest/gtest.h>

#include <QWebEngineView>

#include <QPdfWriter>

#include <QPainter>

#include <QPageSize>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
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
#include "library/ArchiveListView.h"
#include "library/GifGeneratorView.h"
#include "library/ThumbnailList.h"
#include "library/ThumbnailView.h"
#include "library/files/FileLibraryView.h"
#include "pairing/KestrixConfigView.h"
#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "support/LocalServer.h"
#include "webpanels/AppScheme.h"
#include "webpanels/Bookmarks.h"
#include "webpanels/BookmarkListView.h"
#include "webpanels/BookmarkPictures.h"
#include "webpanels/BrowserBookmarkView.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/PdfViewerAddress.h"
#include "support/ContentWindow.h"
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
    qv::test::saveWindowPicture(window, QStringLiteral("%1-%2.png").arg(kEdition, name));
}

// What the program posts while a test runs: that the camera started, and the last capture.
struct CameraReports {
    CameraReports() {
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(&observer, nt::CameraStarted, [this](const Notification&) { started = true; });
        center.addObserver(&observer, nt::ImageCaptured,
                           [this](const Notification& n) { captured = n.userInfo.value("url").toUrl(); });
    }

    bool started = false;
    QUrl captured;
    QObject observer;  // last: it goes first, and the calls to the fields above with it
};

// Wendle edition: three snapshots reach the top of the archive list with their thumbnails, and
// "Generate GIF" opens the GIF maker with them as its frames.
void archiveListAndGifMaker(QWidget& window, ContentView& content, QUrl& captured) {
    auto* archive = qobject_cast<qv::library::ArchiveListView*>(content.rootView()->archiveList());
    ASSERT_TRUE(archive);
    auto* bar = content.rootView()->controlBar();
    for (int i = 0; i < 3; ++i) {
        // Snapshots are named by the second: one per second.
        const QString second = QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss");
        ASSERT_TRUE(qv::test::waitUntil([&] { return QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss") != second; }));
        captured.clear();
        QTest::mouseClick(bar->button("toolbar_snapshot"), Qt::LeftButton);
        ASSERT_TRUE(qv::test::waitUntil([&] { return captured.isValid(); }, 10000));
        QElapsedTimer shown;
        shown.start();
        ASSERT_TRUE(qv::test::waitUntil(
            [&] { return !archive->fileList().empty() && archive->fileList().front()->url == captured; }, 1000))
            << "snapshot " << i << " not on top of the archive list within a second";
        EXPECT_LE(shown.elapsed(), 1000);
        EXPECT_TRUE(archive->fileList().front()->thumbnailImage);
        EXPECT_TRUE(archive->list()->cells().front()->libraryFileItem()->thumbnailImage);
    }
    EXPECT_EQ(archive->fileList().size(), 3u);
    if (archive->hideArchiveList()) archive->toggleCollapsed();
    ASSERT_TRUE(qv::test::waitUntil([&] { return archive->shift() == 0; }, 3000));
    shot(window, "archive-list");

    ASSERT_TRUE(archive->generateGifRow());
    QTest::mouseClick(archive->generateGifRow(), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return content.rootView()->gifGenerator() != nullptr; }, 3000));
    auto* maker = qobject_cast<qv::library::GifGeneratorView*>(content.rootView()->gifGenerator());
    ASSERT_TRUE(maker);
    ASSERT_EQ(maker->frameFileList().size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(maker->frameFileList()[i], archive->fileList()[2 - i]);
    ASSERT_TRUE(qv::test::waitUntil([&] { return maker->gifCurrentFrameFile() != nullptr; }, 5000));
    shot(window, "gif-maker");
}

}  // namespace

TEST(QV_SCREENS_SUITE, BarStatesSnapshotAndSideBySide) {
    if (kWendle) setApplicationId(QString::fromUtf8(qv::util::build::wendleApplicationId));
    ASSERT_EQ(isWendleEdition(), kWendle);
    qv::test::TemporaryFolders temp;
    // The synthetic camera of the shared fixture (unless the caller chose other devices).
    if (qEnvironmentVariableIsEmpty("QUORVANE_SYNTHETIC_DEVICES"))
        qputenv("QUORVANE_SYNTHETIC_DEVICES", QV_TEST_FIXTURES_DIR "/synthetic-devices.json");
    const auto& folders = temp.folders;
    ASSERT_TRUE(temp.makeAndSet());
    if (kWendle) {
        // What start-up puts in place: the templates, and a picture and a converted presentation
        // in the library.
        ASSERT_TRUE(QDir().mkpath(folders->templatesFolderURL));
        ASSERT_TRUE(QDir().mkpath(folders->libraryFolderURL + "/Fractions"));
        const QDir templates(QStringLiteral(QV_TEST_FIXTURES_DIR "/../../resources/templates"));
        for (const QString& name : templates.entryList(QDir::Files))
            QFile::copy(templates.filePath(name), folders->templatesFolderURL + "/" + name);
        QImage slide(1280, 720, QImage::Format_RGB32);
        slide.fill(QColor(40, 90, 160));
        slide.save(folders->libraryFolderURL + "/Fractions/Fractions.001.png");
        QImage photo(640, 480, QImage::Format_RGB32);
        photo.fill(QColor(200, 120, 40));
        photo.save(folders->libraryFolderURL + "/worksheet.png");
    }

    CameraReports reports;
    bool& started = reports.started;
    QUrl& captured = reports.captured;
    auto& center = NotificationCenter::defaultCenter();

    bool pageLoaded = false;
    center.addObserver(&reports.observer, nt::showLoadingMarrowPanel,
                       [&](const Notification& n) { pageLoaded = !n.userInfo.value("show").toBool(); });

    QWidget window;
    ContentView* content = qv::test::showContentWindow(window);
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
    if (kWendle) {
        auto* library = qobject_cast<qv::library::FileLibraryView*>(content->rootView()->fileLibrary());
        ASSERT_NE(library, nullptr);
        ASSERT_TRUE(qv::test::waitUntil([&] { return library->templatesLoaded() && library->fileList().size() == 2; }, 20000));
        // It slides out 3 s after it first appears; the handle brings it back.
        ASSERT_TRUE(qv::test::waitUntil([&] { return library->hideFileLibrary(); }, 10000));
        library->toggleCollapsed();
        ASSERT_TRUE(qv::test::waitUntil([&] { return library->shift() == 0; }, 3000));
        library->tabs()->setCurrentIndex(0);
        shot(window, "file-library-my-files");
        library->tabs()->setCurrentIndex(1);
        library->setHoveredCategory("Math");
        shot(window, "file-library-templates");
        library->setHoveredCategory("");
        library->collapse();
        ASSERT_TRUE(qv::test::waitUntil([&] { return library->shift() == 400; }, 3000));
        return archiveListAndGifMaker(window, *content, captured);
    }

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

// The HID popovers (HID control simulated with the "HIDConnected" a camera link posts) and the
// Settings popover with an update waiting.
TEST(QV_SCREENS_SUITE, FocusAdjustAndSettingsPopovers) {
    if (kWendle) GTEST_SKIP() << "the same popovers as the other edition";
    qv::test::TemporaryFolders temp;
    if (qEnvironmentVariableIsEmpty("QUORVANE_SYNTHETIC_DEVICES"))
        qputenv("QUORVANE_SYNTHETIC_DEVICES", QV_TEST_FIXTURES_DIR "/synthetic-devices.json");
    setFolderLocations(temp.folders);

    QWidget window;
    ContentView* content = qv::test::showContentWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(qv::test::waitUntil([&] { return sharedCameraController && sharedCameraController->isSessionRunning(); }, 30000));
    ASSERT_TRUE(qv::test::waitUntil([&] { return sharedCameraController->framesReceived() > 10; }, 10000));

    auto* bar = content->rootView()->controlBar();
    post(nt::HIDConnected, {{"allowHIDControl", true}, {"allowASR", false}});
    updateAvailable = true;
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->button("toolbar_focus") != nullptr; }, 3000));

    QTest::mouseClick(bar->button("toolbar_focus"), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->popover("Focus")->isVisible(); }, 2000));
    shot(window, "focus");
    bar->popover("Focus")->hide();

    QTest::mouseClick(bar->button("toolbar_adjust"), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->popover("Adjust")->isVisible(); }, 2000));
    shot(window, "adjust");
    bar->popover("Adjust")->hide();

    QTest::mouseClick(bar->button("toolbar_settings"), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar->popover("Settings")->isVisible(); }, 2000));
    EXPECT_NE(bar->updateBadge(), nullptr);
    shot(window, "settings");
    bar->popover("Settings")->hide();
    updateAvailable = false;

    // The pairing panel over the real HID backend: no device here, so both prompts after the
    // read-back.
    post(nt::OpenKestrixConfig);
    ASSERT_TRUE(qv::test::waitUntil([&] { return content->rootView()->kestrixConfig() != nullptr; }, 2000));
    auto* pairing = qobject_cast<qv::pairing::KestrixConfigView*>(content->rootView()->kestrixConfig());
    ASSERT_NE(pairing, nullptr);
    ASSERT_TRUE(qv::test::waitUntil([&] { return pairing->readBackDone(); }, 5000));
    shot(window, "pairing");
    post(nt::OpenKestrixConfig);
}

// The browser panel over the live camera: a web page, its bookmark popover, a snapshot that holds
// the page, and a PDF in the viewer through the program's server.
TEST(QV_SCREENS_SUITE, BrowserOverTheCameraInTheSnapshot) {
    if (kWendle) GTEST_SKIP() << "the browser is the same in both editions";
    qv::test::TemporaryFolders temp;
    QTemporaryDir site;
    if (qEnvironmentVariableIsEmpty("QUORVANE_SYNTHETIC_DEVICES"))
        qputenv("QUORVANE_SYNTHETIC_DEVICES", QV_TEST_FIXTURES_DIR "/synthetic-devices.json");
    ASSERT_TRUE(temp.makeAndSet({temp.folders->bookmarkFolderURL}));

    // A page in one strong colour, served by one of the program's servers on a free port.
    {
        QFile page(QDir(site.path()).filePath("page.html"));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<html><head><title>Colour page</title></head><body style='margin:0;background:rgb(230,0,230);"
                   "color:white;font:40px sans-serif'><p style='margin:40px'>A page in the browser</p></body></html>");
    }
    qv::server::HttpServer pages;
    pages.router.addRoute(std::nullopt, "/:path", qv::server::fileShareHandler(site.path().toStdString(), {"index.html"}));
    ASSERT_TRUE(qv::test::startServer(pages, 0));

    CameraReports reports;
    bool& started = reports.started;
    QUrl& captured = reports.captured;

    QWidget window;
    ContentView* content = qv::test::showContentWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(qv::test::waitUntil(
        [&] { return started && sharedCameraController && sharedCameraController->isSessionRunning(); }, 30000));
    ASSERT_TRUE(qv::test::waitUntil([&] { return sharedCameraController->framesReceived() > 10; }, 10000));

    CameraArea* area = content->rootView()->cameraArea();
    auto shownBrowser = [&]() -> qv::webpanels::BrowserView* {
        return area->browserPanel() ? qobject_cast<qv::webpanels::BrowserView*>(area->browserPanel()->browser()) : nullptr;
    };
    post(nt::OpenBrowser, {{"pdfMode", false}});
    ASSERT_TRUE(qv::test::waitUntil([&] { return shownBrowser() && browserWebView == shownBrowser()->browserWebView(); }, 5000));
    qv::webpanels::BrowserView* browser = shownBrowser();
    bool finished = false;
    QObject::connect(browser->browserWebView(), &qv::webpanels::BrowserWebView::navigationFinished,
                     [&](const QUrl& url) { finished = url.path().endsWith("page.html"); });
    browser->browserWebView()->loadURL(QString("localhost:%1/page.html").arg(pages.localPort()));
    ASSERT_TRUE(qv::test::waitUntil([&] { return finished; }, 60000));
    qv::test::spin(800);  // the panel's layout after opening, and the page on screen
    shot(window, "browser");

    // A snapshot now holds the page's pixels where the panel's page lies.
    QTest::mouseClick(content->rootView()->controlBar()->button("toolbar_snapshot"), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return captured.isValid(); }, 15000));
    const QImage snapshot(captured.toLocalFile());
    ASSERT_FALSE(snapshot.isNull());
    const QRect pageArea(browser->pageArea()->mapTo(area, QPoint(0, 0)), browser->pageArea()->size());
    // The composition places the page 10 points higher than on screen.
    const QPoint probe(pageArea.center().x(), pageArea.bottom() - 40 - 10);
    const QColor seen = snapshot.pixelColor(probe);
    EXPECT_GT(seen.red(), 170) << seen.name().toStdString();
    EXPECT_GT(seen.blue(), 170) << seen.name().toStdString();
    EXPECT_LT(seen.green(), 110) << seen.name().toStdString();
    // Outside the panel the camera picture is there, not the page.
    const QColor outside = snapshot.pixelColor(5, snapshot.height() / 2);
    EXPECT_FALSE(outside.red() > 170 && outside.blue() > 170 && outside.green() < 110) << outside.name().toStdString();

    // The bookmark popover, with this page bookmarked.
    browser->setShowBookmark(true);
    ASSERT_TRUE(qv::test::waitUntil([&] { return browser->bookmarkView() && browser->bookmarkView()->loaded(); }, 20000));
    bool added = false;
    QObject::connect(browser->bookmarkView(), &qv::webpanels::BrowserBookmarkView::bookmarkAdded,
                     [&](const qv::webpanels::Bookmark&) { added = true; });
    browser->bookmarkView()->addBookmark();
    ASSERT_TRUE(qv::test::waitUntil([&] { return added; }, 20000));
    qv::test::spin(300);
    shot(window, "browser-bookmarks");
    browser->setShowBookmark(false);

    // 20,000 bookmarks with long names: the popover opens at once and shows the first rows, the
    // pointer over the first picture with its close mark. Their pictures: links to six colours.
    {
        const QString folder = temp.folders->bookmarkFolderURL;
        const QColor colours[] = {QColor(200, 60, 60), QColor(60, 160, 60), QColor(60, 90, 200),
                                  QColor(220, 170, 40), QColor(150, 70, 190), QColor(40, 170, 180)};
        for (int c = 0; c < 6; ++c) {
            QImage picture(600, 360, QImage::Format_RGB32);
            picture.fill(colours[c]);
            QPainter p(&picture);
            p.setPen(Qt::white);
            p.setFont(QFont("DejaVu Sans", 60, QFont::Bold));
            p.drawText(picture.rect(), Qt::AlignCenter, QString("Page %1").arg(c + 1));
            p.end();
            ASSERT_TRUE(picture.save(QDir(folder).filePath(QString("colour%1.png").arg(c))));
        }
        QList<qv::webpanels::Bookmark> many;
        for (int i = 20000; i > 0; --i) {
            qv::webpanels::Bookmark b = qv::webpanels::makeBookmark(QString("http://lessons.example/%1").arg(i),
                                                                    QString("Lesson %1: fractions, decimals and percentages, "
                                                                            "the long worksheet").arg(i));
            ASSERT_TRUE(QFile::link(QString("colour%1.png").arg(i % 6), QDir(folder).filePath(b.thumbnail)));
            many << b;
        }
        ASSERT_EQ(qv::webpanels::writeWholeFile(qv::webpanels::bookmarksFilePath(folder), qv::webpanels::bookmarksJson(many)), "");
    }
    browser->setShowBookmark(true);
    ASSERT_TRUE(qv::test::waitUntil([&] { return browser->bookmarkView() && browser->bookmarkView()->loaded(); }, 20000));
    ASSERT_EQ(browser->bookmarkView()->bookmarkList().size(), 20000);
    qv::webpanels::BookmarkListView* list = browser->bookmarkView()->listView();
    const QRect first = list->visualRect(list->model()->index(0, 0));
    ASSERT_TRUE(qv::test::waitUntil([&] {
        return browser->bookmarkView()->pictures()->peek(browser->bookmarkView()->bookmarkList()[0].thumbnail).state ==
               qv::webpanels::BookmarkPictures::State::shown;
    }, 10000));
    QTest::mouseMove(list->window()->windowHandle(),
                     list->viewport()->mapTo(list->window(), qv::webpanels::BookmarkThumbnailView::pictureRect(first).center()));
    shot(window, "browser-bookmarks-20000");
    browser->setShowBookmark(false);

    // PDF mode: a local file through the program's file route.
    QTemporaryDir docs;
    const QString pdf = QDir(docs.path()).filePath("Lesson notes #1.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A5));
        QPainter painter(&writer);
        for (int i = 0; i < 2; ++i) {
            if (i) writer.newPage();
            painter.setFont(QFont("DejaVu Sans", 30));
            painter.drawText(QRect(0, 0, writer.width(), writer.height()), Qt::AlignCenter, QString("Page %1").arg(i + 1));
        }
    }
    qv::server::HttpServer files;
    files.router.addRoute(std::nullopt, "/files/:path",
                          qv::server::fileShareHandler("/", {"index.html"}, qv::webpanels::wasHandedToPdfViewer));
    files.trustedOrigins = {qv::webpanels::appOrigin().toStdString()};  // as the program's server does
    ASSERT_TRUE(qv::test::startServer(files, 0));
    qv::webpanels::setPdfServerPort(files.localPort());  // 9080 may be held by a running program
    post(nt::OpenBrowser, {{"pdfMode", true}, {"pdfPath", pdf}});
    ASSERT_TRUE(qv::test::waitUntil([&] { return shownBrowser() && shownBrowser() != browser; }, 5000));
    qv::webpanels::BrowserView* viewer = shownBrowser();
    EXPECT_TRUE(viewer->pdfMode());
    ASSERT_TRUE(qv::test::waitUntil([&] { return browserWebView == viewer->browserWebView(); }, 5000));
    auto pageCount = std::make_shared<int>(0);
    ASSERT_TRUE(qv::test::waitUntil([&] {
        viewer->browserWebView()->wkWebView()->page()->runJavaScript(
            "window.PDFViewerApplication && PDFViewerApplication.pdfDocument ? PDFViewerApplication.pagesCount : 0",
            [pageCount](const QVariant& v) { *pageCount = v.toInt(); });
        qv::test::spin(100);
        return *pageCount == 2;
    }, 60000)) << "the viewer shows " << *pageCount << " pages";
    qv::test::spin(800);
    shot(window, "browser-pdf");
    // The viewer's sidebar and its menu of further tools, open: every button with its picture.
    viewer->browserWebView()->wkWebView()->page()->runJavaScript(
        "PDFViewerApplication.pdfSidebar.open(); PDFViewerApplication.secondaryToolbar.open();");
    ASSERT_TRUE(qv::test::waitUntil([&] {
        auto open = std::make_shared<bool>(false);
        viewer->browserWebView()->wkWebView()->page()->runJavaScript(
            "PDFViewerApplication.secondaryToolbar.isOpen && PDFViewerApplication.pdfSidebar.isOpen",
            [open](const QVariant& v) { *open = v.toBool(); });
        qv::test::spin(100);
        return *open;
    }, 10000));
    qv::test::spin(800);  // the sidebar's slide and its page pictures
    shot(window, "browser-pdf-tools");
    files.stop();
    pages.stop();
    qv::webpanels::setPdfServerPort(9080);
    globalPdfMode = false;
}
