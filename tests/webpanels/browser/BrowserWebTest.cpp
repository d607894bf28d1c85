// The in-app browser in its panel with real pages: a PDF with an awkward name through the real
// server, typed addresses, inversion, the page's dialogs and new windows, the panel's modes and
// zoom, and a bookmark round trip. Each test starts one engine and checks several things of one
// scene.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <optional>

#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "state/AppState.h"
#include "support/LocalServer.h"
#include "support/QtWait.h"
#include "support/TestPictures.h"
#include "webpanels/AppScheme.h"
#include "webpanels/BrowserBoardView.h"
#include "webpanels/BrowserBookmarkView.h"
#include "webpanels/BrowserDialogs.h"
#include "webpanels/BrowserImages.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/PdfViewerAddress.h"

using namespace qv::webpanels;
using qv::test::waitUntil;

namespace {

// Scripted answers in place of the desktop's dialogs; remembers what was asked.
struct ScriptedDialogs : BrowserDialogs {
    QStringList asked;
    std::vector<bool> confirmAnswers;
    std::vector<QString> promptAnswers;
    std::vector<QUrl> opened;
    void alert(QWidget*, const QString& message) override { asked << "alert:" + message; }
    bool confirm(QWidget*, const QString& message) override {
        asked << "confirm:" + message;
        const bool answer = confirmAnswers.empty() ? false : confirmAnswers.front();
        if (!confirmAnswers.empty()) confirmAnswers.erase(confirmAnswers.begin());
        return answer;
    }
    QString prompt(QWidget*, const QString& message) override {
        asked << "prompt:" + message;
        const QString answer = promptAnswers.empty() ? QString() : promptAnswers.front();
        if (!promptAnswers.empty()) promptAnswers.erase(promptAnswers.begin());
        return answer;
    }
    std::optional<QString> chooseFile(QWidget*) override { return std::nullopt; }
    void openExternally(const QUrl& url) override { opened.push_back(url); }
};

// A PDF of `pages` pages, drawn here.
void writePdf(const QString& path, int pages) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A6));
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) writer.newPage();
        painter.setFont(QFont("DejaVu Sans", 40));
        painter.drawText(QRect(0, 0, writer.width(), writer.height()), Qt::AlignCenter, QString("Page %1").arg(i + 1));
    }
}

// One browser panel in a window, with the program's server on a free port serving `folder`.
struct Scene {
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
    QWidget window;
    BrowserView* panel = nullptr;
    bool closed = false;

    explicit Scene(bool pdfMode = false, bool lessonsMode = false) {
        BrowserWebView::setDialogs(dialogs);
        window.resize(800, 600);
        // Black where the page lets what lies below show through.
        QPalette black = window.palette();
        black.setColor(QPalette::Window, Qt::black);
        window.setPalette(black);
        window.setAutoFillBackground(true);
        panel = new BrowserView(QString(), false, false, pdfMode, lessonsMode, 1.0, [this] { closed = true; }, &window);
        panel->setGeometry(0, 0, 800, 600);
        window.show();
    }
    ~Scene() { BrowserWebView::setDialogs(nullptr); }

    BrowserWebView* page() const { return panel->browserWebView(); }

    QVariant evaluate(const QString& script) {
        auto result = std::make_shared<std::optional<QVariant>>();
        page()->wkWebView()->page()->runJavaScript(script, [result](const QVariant& v) { *result = v; });
        EXPECT_TRUE(waitUntil([&] { return result->has_value(); }, 30000)) << script.toStdString();
        return result->value_or(QVariant());
    }

    // Loads typed text and waits until its load finished and was handled.
    void loadAndWait(const QString& typed) {
        bool finished = false;
        QMetaObject::Connection c =
            QObject::connect(page(), &BrowserWebView::navigationFinished, [&](const QUrl&) { finished = true; });
        page()->loadURL(typed);
        EXPECT_TRUE(waitUntil([&] { return finished; }, 60000)) << typed.toStdString();
        QObject::disconnect(c);
    }
};

// A server on a free port serving one folder under "/".
struct FolderServer {
    qv::server::HttpServer server;
    explicit FolderServer(const QString& folder) {
        server.router.addRoute(std::nullopt, "/:path", qv::server::fileShareHandler(folder.toStdString(), {"index.html"}));
        EXPECT_TRUE(qv::test::startServer(server, 0));
    }
    ~FolderServer() { server.stop(); }
    QString base() const { return QString("localhost:%1/").arg(server.localPort()); }
};

void writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

}  // namespace

TEST(BrowserPdf, AwkwardNamesOpenInTheViewerThroughTheProgramServer) {
    ASSERT_TRUE(QFileInfo::exists(pdfViewerPagePath())) << "the PDF viewer was not copied among the resources";
    QTemporaryDir dir;
    const QString first = dir.filePath("My File #1.pdf");
    const QString second = dir.filePath("a&b+c?d%e ünï.pdf");
    writePdf(first, 2);
    writePdf(second, 3);

    // The program's own route and trusted origin: what the viewer's addresses name.
    qv::server::HttpServer server;
    server.router.addRoute(std::nullopt, "/files/:path", qv::server::fileShareHandler("/", {"index.html"}));
    server.trustedOrigins = {appOrigin().toStdString()};  // as the program's server does
    ASSERT_TRUE(qv::test::startServer(server, 0));
    setPdfServerPort(server.localPort());  // the program's is 9080; another program may hold it

    qv::app::globalPdfMode = true;
    qv::app::pdfViewerQuery = pdfViewerQueryFor(first);
    Scene scene(/*pdfMode=*/true);
    // The viewer counts the pages once the document has loaded.
    auto pagesCount = [&] {
        return scene.evaluate("window.PDFViewerApplication && PDFViewerApplication.pdfDocument ? "
                              "PDFViewerApplication.pagesCount : 0").toInt();
    };
    EXPECT_TRUE(waitUntil([&] { return pagesCount() == 2; }, 60000)) << "pages: " << pagesCount();
    EXPECT_EQ(scene.evaluate("PDFViewerApplication.url").toString(), pdfServerAddress(first));
    EXPECT_EQ(scene.panel->titleLabel()->isVisible(), false);
    // Backgrounds kept in PDF mode: the viewer gets a white page.
    EXPECT_EQ(scene.evaluate("document.body.style.backgroundColor").toString(), "white");

    // openPDF on a shown panel: the same rule, the next document.
    scene.page()->openPDF(second);
    EXPECT_EQ(qv::app::pdfViewerQuery, pdfViewerQueryFor(second));
    EXPECT_TRUE(waitUntil([&] { return pagesCount() == 3; }, 60000)) << "pages: " << pagesCount();
    server.stop();
    setPdfServerPort(9080);
    qv::app::globalPdfMode = false;
}

TEST(BrowserPage, TypedAddressesInversionDialogsAndNewWindows) {
    QTemporaryDir dir;
    writeFile(dir.filePath("page.html"),
              "<html><head><title>Test page</title></head><body style='margin:0;background:white'>"
              "<div id=box style='width:100px;height:100px;border:50px solid rgb(255,0,0)'></div>"
              "<a id=out href='http://localhost:1/elsewhere' target=_blank>out</a></body></html>");
    writeFile(dir.filePath("second.html"), "<html><body>second</body></html>");
    FolderServer server(dir.path());
    qv::app::enableRemoveBackground = false;
    qv::app::invertColor = false;
    Scene scene;
    ASSERT_TRUE(waitUntil([&] { return qv::app::browserWebView == scene.page(); }, 10000));

    // A bare host gets "http://"; the finished load writes the page's address into the panel.
    scene.loadAndWait(server.base() + "page.html");
    EXPECT_EQ(scene.page()->wkWebView()->url().toString(), "http://" + server.base() + "page.html");
    EXPECT_EQ(scene.panel->address(), "http://" + server.base() + "page.html");
    EXPECT_EQ(scene.panel->addressField()->text(), scene.panel->address());
    EXPECT_FALSE(scene.panel->canGoBack());
    // With removal off, the finished load leaves the page as it was.
    EXPECT_EQ(scene.evaluate("getComputedStyle(document.body).filter").toString(), "none");
    scene.loadAndWait(server.base() + "second.html");
    EXPECT_TRUE(scene.panel->canGoBack());
    EXPECT_EQ(scene.panel->button("arrow_left")->imageOpacity(), 1.0);
    EXPECT_EQ(scene.panel->button("arrow_right")->imageOpacity(), 0.5);
    // The transparency, set on one page, holds for the next.
    scene.panel->setOpacityValue(0.5);
    // No valid address: nothing loads.
    scene.page()->loadURL("two words");
    qv::test::spin(300);
    EXPECT_TRUE(scene.page()->wkWebView()->url().toString().endsWith("second.html"));

    // Return: the same committed text does nothing, a new one loads.
    scene.panel->addressField()->setText(server.base() + "page.html");
    bool finished = false;
    QObject::connect(scene.page(), &BrowserWebView::navigationFinished, [&](const QUrl&) { finished = true; });
    scene.panel->commitAddress();
    ASSERT_TRUE(waitUntil([&] { return finished; }, 60000));
    EXPECT_EQ(scene.panel->preAddress(), server.base() + "page.html");
    // Return again with the same text loads nothing. A load it started would be under way before
    // the page answers a script (the page sends it after the engine began the load); the next
    // text then loads alone. (Sent at once, the engine would drop the first load unseen.)
    QStringList started;
    QObject::connect(scene.page()->wkWebView()->page(), &QWebEnginePage::loadingChanged,
                     [&](const QWebEngineLoadingInfo& info) {
                         if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) started << info.url().path();
                     });
    scene.panel->addressField()->setText(server.base() + "page.html");  // the finished load wrote the full address
    scene.panel->commitAddress();
    scene.evaluate("0");
    EXPECT_TRUE(started.isEmpty()) << started.join(' ').toStdString();
    scene.panel->addressField()->setText(server.base() + "second.html");
    finished = false;
    scene.panel->commitAddress();
    ASSERT_TRUE(waitUntil([&] { return finished; }, 60000));
    EXPECT_EQ(started.join(' ').toStdString(), "/second.html") << "only the new text loads";
    scene.loadAndWait(server.base() + "page.html");

    // The whole page fades, the white of its body's background too (it fills the canvas, which no
    // style of the document fades): over the black window it shows gray, and white when opaque.
    // The document itself stays unfaded, or the page would fade twice.
    const QPoint inPage = scene.panel->pageArea()->mapTo(&scene.window, QPoint(600, 300));
    auto shownAt = [&](QPoint p) { return scene.window.grab().toImage().pixelColor(p); };
    EXPECT_TRUE(waitUntil([&] { return qAbs(shownAt(inPage).green() - 128) < 30; }, 20000))
        << "the page shows " << shownAt(inPage).name().toStdString() << " at half opacity";
    EXPECT_EQ(scene.evaluate("getComputedStyle(document.documentElement).opacity").toString(), "1");
    scene.panel->setOpacityValue(1.0);
    EXPECT_TRUE(waitUntil([&] { return shownAt(inPage).green() > 235; }, 20000))
        << "the opaque page shows " << shownAt(inPage).name().toStdString();

    // Background removal, then inversion: the filter applies and the page shows inverted.
    scene.panel->setEnableRemoveBackground(true);
    EXPECT_TRUE(qv::app::enableRemoveBackground);
    scene.panel->setInverted(true);
    EXPECT_TRUE(qv::app::invertColor);
    EXPECT_TRUE(waitUntil([&] {
        return scene.evaluate("getComputedStyle(document.body).filter").toString().contains("invert(1)");
    }, 10000));
    EXPECT_EQ(scene.evaluate("document.getElementById('box').style.background").toString().left(4), "none");
    QImage shown;
    ASSERT_TRUE(waitUntil([&] {
        shown = scene.page()->wkWebView()->grab().toImage();
        const QColor border = shown.pixelColor(25, 25);  // inside the red border
        return border.red() < 60 && border.green() > 200 && border.blue() > 200;
    }, 20000)) << "border shows " << shown.pixelColor(25, 25).name().toStdString();

    // A new panel's Invert Color starts from the app-wide inversion.
    {
        BrowserView second(QString(), false, false, false, false, 0.8, {});
        EXPECT_TRUE(second.toggleModel().inverted);
        EXPECT_TRUE(second.toggleModel().enableRemoveBackground);
        qv::app::browserWebView = scene.page();  // the second panel never showed, but reset anyway
    }
    scene.panel->setInverted(false);
    scene.panel->setEnableRemoveBackground(false);

    // The page's confirm and prompt answers reach it; the prompt ignores the page's default.
    scene.dialogs->confirmAnswers = {true, false};
    scene.dialogs->promptAnswers = {QString::fromUtf8("Grüße 'quoted'"), QString()};
    const QVariant answers = scene.evaluate(
        "JSON.stringify([confirm('Sure?'), confirm('Really?'), prompt('Name?', 'default'), prompt('Empty?', 'x')])");
    EXPECT_EQ(answers.toString(), QString::fromUtf8("[true,false,\"Grüße 'quoted'\",\"\"]"));
    scene.evaluate("alert('Hello')");
    EXPECT_EQ(scene.dialogs->asked,
              (QStringList{"confirm:Sure?", "confirm:Really?", "prompt:Name?", "prompt:Empty?", "alert:Hello"}));

    // A link for a new window goes to the desktop's browser; the panel stays where it was.
    scene.evaluate("window.open('http://localhost:1/popup')");
    ASSERT_TRUE(waitUntil([&] { return !scene.dialogs->opened.empty(); }, 20000));
    EXPECT_EQ(scene.dialogs->opened.front(), QUrl("http://localhost:1/popup"));
    EXPECT_TRUE(scene.page()->wkWebView()->url().toString().endsWith("page.html"));

    // Close: the page is emptied, the browser is no longer shown, and the host is told.
    scene.panel->close();
    EXPECT_TRUE(scene.closed);
    EXPECT_FALSE(scene.page()->showingBrowser());
    EXPECT_EQ(qv::app::browserWebView, scene.page());
}

TEST(BrowserPanel, ModesZoomAndAnnotationLayers) {
    qv::app::globalOfflineMode = true;
    {
        Scene pdf(/*pdfMode=*/true);
        EXPECT_TRUE(pdf.panel->findChild<QLabel*>("pdfTitle")->isVisible());
        EXPECT_FALSE(pdf.panel->addressField()->isVisible());
        for (const char* hidden : {"google_icon", "arrow_left", "toolbar_bookmark", "toolbar_zoom_in", "toolbar_zoom_out"})
            EXPECT_FALSE(pdf.panel->button(hidden)->isVisible()) << hidden;
        for (const char* shown : {"toolbar_freehand", "toolbar_settings", "close"})
            EXPECT_TRUE(pdf.panel->button(shown)->isVisible()) << shown;
    }
    {
        Scene lessons(false, /*lessonsMode=*/true);
        EXPECT_EQ(lessons.page()->startPage(), QUrl("http://localhost:9080/index.html"));
        EXPECT_TRUE(lessons.panel->titleLabel()->isVisible());
        EXPECT_EQ(lessons.panel->titleLabel()->text(), "Wendle Lessons (Offline)");
        EXPECT_FALSE(lessons.panel->addressField()->isVisible());
        EXPECT_FALSE(lessons.panel->button("google_icon")->isVisible());
        EXPECT_TRUE(lessons.panel->button("arrow_left")->isVisible());
        EXPECT_FALSE(lessons.panel->button("toolbar_bookmark")->isVisible());
        EXPECT_TRUE(lessons.panel->button("toolbar_zoom_in")->isVisible());
    }
    qv::app::globalOfflineMode = false;

    Scene web;
    EXPECT_EQ(web.page()->startPage().host(), QString::fromLatin1(searchEngineHost));
    EXPECT_EQ(web.panel->addressField()->placeholderText(), " Enter url at here:");
    ASSERT_TRUE(waitUntil([&] { return qv::app::browserWebView == web.page(); }, 10000));
    QWebEngineView* view = web.page()->wkWebView();
    view->setZoomFactor(1.05);
    web.panel->zoomOut();
    EXPECT_DOUBLE_EQ(view->zoomFactor(), 1.0);
    web.panel->zoomOut();
    EXPECT_DOUBLE_EQ(view->zoomFactor(), 1.0);
    for (int i = 0; i < 10; ++i) web.panel->zoomIn();
    EXPECT_DOUBLE_EQ(view->zoomFactor(), 2.0);

    // The board lies behind the page until annotation is switched on, then in front of it.
    QWidget* area = web.panel->pageArea();
    auto topmost = [&] { return area->childAt(area->rect().center()); };
    auto isInside = [](QWidget* w, QWidget* parent) { return w && (w == parent || parent->isAncestorOf(w)); };
    EXPECT_TRUE(isInside(topmost(), web.page())) << "the page is in front";
    // The annotate button shows its "on" picture while annotating, and its plain one again after.
    BrowserImageButton* annotate = web.panel->button("toolbar_freehand");
    ASSERT_TRUE(annotate);
    EXPECT_EQ(annotate->image(), "toolbar_freehand");
    annotate->click();
    EXPECT_TRUE(web.panel->enableAnnotation());
    EXPECT_EQ(annotate->image(), "toolbar_freehand_on");
    EXPECT_TRUE(isInside(topmost(), web.panel->boardView())) << "the board is in front";
    annotate->click();
    EXPECT_FALSE(web.panel->enableAnnotation());
    EXPECT_EQ(annotate->image(), "toolbar_freehand");
    EXPECT_TRUE(isInside(topmost(), web.page()));

    // Settings popover: two rows with removal off, the Invert Color row once it is on.
    web.panel->setShowPopoverSettings(true);
    ASSERT_TRUE(waitUntil([&] { return web.panel->settingsPopover() && web.panel->settingsPopover()->isVisible(); }, 5000));
    QWidget* invertSwitch = web.panel->settingsPopover()->findChild<QWidget*>("invertSwitch");
    ASSERT_TRUE(invertSwitch);
    EXPECT_FALSE(invertSwitch->isVisibleTo(web.panel->settingsPopover()));
    web.panel->setEnableRemoveBackground(true);
    EXPECT_TRUE(invertSwitch->isVisibleTo(web.panel->settingsPopover()));
    web.panel->setEnableRemoveBackground(false);
    web.panel->settingsPopover()->hide();
    EXPECT_FALSE(web.panel->showPopoverSettings());
}

TEST(BrowserBookmarks, RoundTripWithPicturesOrderAndPlaceholders) {
    QTemporaryDir save, site;
    auto folders = std::make_shared<qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(save.path()));
    ASSERT_TRUE(QDir().mkpath(folders->bookmarkFolderURL));
    qv::app::setFolderLocations(folders);
    const QString bookmarkFolder = folders->bookmarkFolderURL;
    writeFile(site.filePath("one.html"), "<html><head><title>One</title></head><body style='background:#20a040'>1</body></html>");
    writeFile(site.filePath("two.html"), "<html><body style='background:#2040a0'>2</body></html>");
    writeFile(site.filePath("three.html"), "<html><head><title>Three</title></head><body>3</body></html>");
    FolderServer server(site.path());
    Scene scene;
    ASSERT_TRUE(waitUntil([&] { return qv::app::browserWebView == scene.page(); }, 10000));

    // Adding asked for before the list has loaded waits for it: nothing already stored is lost.
    const Bookmark stored = makeBookmark("http://kept.example/", QString("Kept"));
    writeFile(bookmarkFolder + "/bookmarks.json", bookmarksJson({stored}));  // its picture is missing
    scene.loadAndWait(server.base() + "one.html");
    {
        BrowserBookmarkView early;
        std::vector<Bookmark> added;
        QObject::connect(&early, &BrowserBookmarkView::bookmarkAdded, [&](const Bookmark& b) { added.push_back(b); });
        early.addBookmark();  // before it was ever shown: the load comes first
        ASSERT_TRUE(waitUntil([&] { return added.size() == 1; }, 30000));
        ASSERT_EQ(early.bookmarkList().size(), 2);
        EXPECT_EQ(early.bookmarkList()[0].name, "One");
        EXPECT_EQ(early.bookmarkList()[1].id, stored.id);
        EXPECT_TRUE(early.bookmarkList()[1].thumbnailImage.isNull()) << "no picture: a placeholder";
    }

    scene.loadAndWait(server.base() + "two.html");
    // The address field holds typing that was never sent; the stored url is the page's.
    scene.panel->addressField()->setText("typed but not sent");
    BrowserBookmarkView view;
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.loaded(); }, 30000));
    ASSERT_EQ(view.bookmarkList().size(), 2);
    EXPECT_EQ(view.cells().size(), 2);
    std::vector<Bookmark> added;
    QObject::connect(&view, &BrowserBookmarkView::bookmarkAdded, [&](const Bookmark& b) { added.push_back(b); });
    view.addBookmark();
    ASSERT_TRUE(waitUntil([&] { return added.size() == 1; }, 30000));
    scene.loadAndWait(server.base() + "three.html");
    view.addBookmark();
    ASSERT_TRUE(waitUntil([&] { return added.size() == 2; }, 30000));

    const QString two = "http://" + server.base() + "two.html";
    EXPECT_EQ(added[0].url, two);
    EXPECT_EQ(added[0].name, "localhost") << "no title: the host";
    EXPECT_EQ(added[1].name, "Three");
    // The picture: a PNG of the page area's size, showing the page.
    const QSize container = scene.panel->pageArea()->size();
    QImageReader reader(bookmarkFolder + "/" + added[0].thumbnail);
    EXPECT_EQ(reader.format(), "png");
    const QImage picture = reader.read();
    EXPECT_EQ(picture.size(), container);
    EXPECT_EQ(picture.pixelColor(container.width() / 2, container.height() / 2).name(), "#2040a0");

    // The file: newest first, the page's addresses.
    auto fileIds = [&] {
        QFile f(bookmarkFolder + "/bookmarks.json");
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QStringList ids;
        for (const auto& v : QJsonDocument::fromJson(f.readAll()).array()) ids << v.toObject()["id"].toString();
        return ids;
    };
    const QString oneId = view.bookmarkList()[2].id;
    EXPECT_EQ(fileIds(), (QStringList{added[1].id, added[0].id, oneId, stored.id}));
    EXPECT_EQ(view.cells().size(), 4);
    EXPECT_EQ(BrowserBookmarkView::listHeight(4), 400);
    EXPECT_EQ(BrowserBookmarkView::listHeight(0), 80);
    EXPECT_EQ(BrowserBookmarkView::listHeight(7), 500);

    // Deleting the second removes its picture and its entry; the others keep their order.
    BookmarkThumbnailView* second = view.cells()[1];
    ASSERT_EQ(second->bookmark().id, added[0].id);
    second->remove();
    EXPECT_FALSE(QFileInfo::exists(bookmarkFolder + "/" + added[0].thumbnail));
    EXPECT_EQ(fileIds(), (QStringList{added[1].id, oneId, stored.id}));
    ASSERT_TRUE(waitUntil([&] { return view.cells().size() == 3; }, 5000));

    // Opening a bookmark loads its address into the browser.
    bool finished = false;
    QObject::connect(scene.page(), &BrowserWebView::navigationFinished, [&](const QUrl&) { finished = true; });
    view.openBookmark(view.bookmarkList()[1]);
    ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));
    EXPECT_TRUE(scene.page()->wkWebView()->url().toString().endsWith("one.html"));

    // Read back by a new popover: every entry, pictures where they exist, placeholders where not.
    BrowserBookmarkView again;
    again.show();
    ASSERT_TRUE(waitUntil([&] { return again.loaded(); }, 30000));
    ASSERT_EQ(again.bookmarkList().size(), 3);
    EXPECT_FALSE(again.bookmarkList()[0].thumbnailImage.isNull());
    EXPECT_TRUE(again.bookmarkList()[2].thumbnailImage.isNull());
    qv::app::setFolderLocations(nullptr);
}

namespace {

// A left-button drag of Qt's own mouse events on a web view's input widget, in steps.
void dragOn(QWidget* input, QPoint from, QPoint to) {
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(input->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &event);
        qv::test::spin(15);  // the engine takes each event in turn
    };
    send(QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 12; ++i) send(QEvent::MouseMove, from + (to - from) * i / 12, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

QVariant evaluateIn(QWebEngineView* view, const QString& script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    view->page()->runJavaScript(script, [result](const QVariant& v) { *result = v; });
    EXPECT_TRUE(waitUntil([&] { return result->has_value(); }, 30000)) << script.toStdString();
    return result->value_or(QVariant());
}

}  // namespace

// Offline, the hosted board cannot load (its host resolves to nothing in this test program): our
// own board page stands in, and the pen draws over the page.
TEST(BrowserBoard, OfflineTheProgramsOwnBoardTakesThePen) {
    QTemporaryDir dir;
    writeFile(dir.filePath("page.html"), "<html><body style='margin:0;background:white'>Lesson</body></html>");
    FolderServer server(dir.path());
    Scene scene;
    // Annotate at once, before the hosted board has even failed: the stand-in comes drawing.
    scene.panel->button("toolbar_freehand")->click();
    ASSERT_TRUE(scene.panel->enableAnnotation());
    ASSERT_TRUE(waitUntil([&] { return qv::app::browserWebView == scene.page(); }, 10000));
    scene.loadAndWait(server.base() + "page.html");
    QWebEngineView* board = scene.panel->boardView()->wkWebView();
    ASSERT_TRUE(waitUntil([&] {
        return board->url() == BrowserBoardView::localBoardPageAddress() &&
               evaluateIn(board, "typeof allowAnnotation === 'function' && marrowPanel.isAnnotating()").toBool();
    }, 60000)) << "the board shows " << board->url().toString().toStdString();

    // A stroke across the page: drawn by the board, on the screen over the white page.
    const QPoint from(200, 300), to(600, 320), middle = (from + to) / 2;
    ASSERT_TRUE(waitUntil([&] { return board->focusProxy() != nullptr; }, 10000));
    dragOn(board->focusProxy(), from, to);
    ASSERT_TRUE(waitUntil([&] { return evaluateIn(board, "marrowPanel.strokeCount()").toInt() == 1; }, 20000));
    const QPoint inWindow = board->mapTo(&scene.window, middle);
    QImage shown;
    EXPECT_TRUE(waitUntil([&] {
        shown = scene.window.grab().toImage();
        for (int dy = -4; dy <= 4; ++dy) {
            const QColor c = shown.pixelColor(inWindow + QPoint(0, dy));
            if (c.red() > 180 && c.green() < 100 && c.blue() < 100) return true;
        }
        return false;
    }, 20000)) << "no ink on the screen: " << shown.pixelColor(inWindow).name().toStdString();
    qv::test::saveTestPicture(shown, "browser-offline-board.png");

    // Annotation off: the board stops drawing and the page takes the clicks again.
    scene.panel->button("toolbar_freehand")->click();
    EXPECT_TRUE(waitUntil([&] { return !evaluateIn(board, "marrowPanel.isAnnotating()").toBool(); }, 20000));
}

// Neither the page nor the board waits for ever on a server that takes the connection and never
// answers: past the time-out the load is stopped and reported once, and the board shows our own
// board page.
TEST(BrowserBoard, LoadsThatNeverEndAreStoppedAndReported) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    Scene scene;
    ASSERT_TRUE(waitUntil([&] { return qv::app::browserWebView == scene.page(); }, 10000));
    QWebEngineView* board = scene.panel->boardView()->wkWebView();
    ASSERT_TRUE(waitUntil([&] { return board->url() == BrowserBoardView::localBoardPageAddress(); }, 60000));

    scene.page()->setLoadTimeout(1500);
    std::vector<QUrl> failed;
    QObject::connect(scene.page(), &BrowserWebView::navigationFailed, [&](const QUrl& url) { failed.push_back(url); });
    const QString stuck = QString("localhost:%1/stuck.html").arg(silent.serverPort());
    QElapsedTimer clock;
    clock.start();
    scene.page()->loadURL(stuck);
    ASSERT_TRUE(waitUntil([&] { return !failed.empty(); }, 30000)) << "the stuck load was never reported";
    EXPECT_GE(clock.elapsed(), 1400) << "reported before the time was up";
    EXPECT_EQ(failed.front().toString().toStdString(), "http://" + stuck.toStdString());
    EXPECT_TRUE(waitUntil([&] { return !scene.page()->wkWebView()->page()->isLoading(); }, 5000));

    // The board, sent to the silent server (our server's host is allowed), comes back to our page.
    scene.panel->boardView()->setLoadTimeout(1500);
    QStringList boardLoads;
    QObject::connect(board->page(), &QWebEnginePage::loadingChanged, [&](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) boardLoads << "started " + info.url().toString();
        if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) boardLoads << "loaded " + info.url().toString();
    });
    clock.restart();
    board->load(QUrl("http://" + stuck));
    const QString local = "loaded " + BrowserBoardView::localBoardPageAddress().toString();
    ASSERT_TRUE(waitUntil([&] { return boardLoads.contains(local); }, 30000)) << boardLoads.join(", ").toStdString();
    EXPECT_GE(clock.elapsed(), 1400) << "the board gave up before the time was up";
    EXPECT_EQ(boardLoads.first(), "started http://" + stuck);
    EXPECT_EQ(evaluateIn(board, "typeof allowAnnotation").toString(), "function");
    EXPECT_EQ(failed.size(), 1u) << "the page's stuck load is reported once";
}
