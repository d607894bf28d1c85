// The in-app browser in its panel with real pages: a PDF with an awkward name through the real
// server, a page of another site that tries to read the disk through it, typed addresses,
// inversion, the page's dialogs and new windows, the panel's modes and zoom, and a bookmark round
// trip. Each test starts one engine and checks several things of one scene.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QPrinter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "state/AppState.h"
#include "state/Resources.h"
#include "support/LocalServer.h"
#include "support/QtWait.h"
#include "support/TestPictures.h"
#include "state/Failures.h"
#include "webpanels/browser/HostilePdf.h"
#include "webpanels/AppScheme.h"
#include "webpanels/BrowserBoardView.h"
#include "webpanels/BookmarkListInput.h"
#include "webpanels/BookmarkPictures.h"
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
    // Save: the path the test gives (none: cancelled); the suggestion is kept.
    std::optional<QString> savePath;
    QStringList suggestedPaths;
    std::optional<QString> chooseSavePath(QWidget*, const QString& suggestedPath) override {
        suggestedPaths << suggestedPath;
        return savePath;
    }
    // Print: into a PDF file at the path the test gives, pages as the test sets (0: all).
    QString printPath;
    int printFrom = 0, printTo = 0;
    QList<int> printPageCounts;
    bool choosePrinter(QWidget*, QPrinter& printer, int pageCount) override {
        printPageCounts << pageCount;
        if (printPath.isEmpty()) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printPath);
        printer.setFromTo(printFrom, printTo);
        return true;
    }
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

// The program's routes on a free port: the whole disk under "/files/", the lessons among the
// resources, the program's own origin trusted; the PDF viewer asks this port while it runs.
struct ProgramServer {
    qv::server::HttpServer server;
    ProgramServer() {
        const std::vector<std::string> defaults{"index.html", "default.html"};
        const std::string lessons = (qv::app::resourcesDirectory() + "/wendlelessons").toStdString();
        server.trustedOrigins = {appOrigin().toStdString()};
        server.router.addRoute(std::nullopt, "/files/:path", qv::server::fileShareHandler("/", defaults, wasHandedToPdfViewer));
        server.router.addRoute(std::nullopt, "/:path", qv::server::fileShareHandler(lessons, defaults));
        server.router.addRoute(std::nullopt, "/grade1/:path", qv::server::fileShareHandler(lessons + "/grade1", defaults));
        EXPECT_TRUE(qv::test::startServer(server, 0));
        setPdfServerPort(server.localPort());  // the program's is 9080; another program may hold it
    }
    ~ProgramServer() {
        server.stop();
        setPdfServerPort(9080);
    }
    QString origin(const char* host) const { return QString("http://%1:%2").arg(host).arg(server.localPort()); }
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

    ProgramServer server;  // what the viewer's addresses name
    ASSERT_TRUE(server.server.isRunning());

    qv::app::globalPdfMode = true;
    qv::app::pdfViewerQuery = handPdfToViewer(first);
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

    // Every button of the toolbars and the sidebar carries its picture, and every picture the
    // viewer's stylesheets name loads: none is a blank square.
    scene.evaluate(R"JS(
        window.qvPictures = null;
        (async () => {
            const problems = [];
            const masked = [...document.querySelectorAll(
                '.toolbarButton, .secondaryToolbarButton, .dropdownToolbarButton, .treeItemToggler')];
            let shown = 0;
            for (const button of masked) {
                const pseudo = button.classList.contains('dropdownToolbarButton') ? '::after' : '::before';
                const mask = getComputedStyle(button, pseudo).getPropertyValue('-webkit-mask-image');
                if (!mask || mask === 'none') problems.push('no picture: ' + (button.id || button.className));
                if (button.offsetParent) ++shown;
            }
            // Pictures named by a property, and those held in custom properties (read through
            // a probe, which gives the address the engine resolves).
            const urls = new Set();
            const probe = document.body.appendChild(document.createElement('div'));
            const add = text => {
                for (const m of text.matchAll(/url\("([^"]+)"\)/g)) if (!m[1].startsWith('data:')) urls.add(m[1]);
            };
            for (const sheet of document.styleSheets)
                for (const rule of sheet.cssRules) {
                    if (!rule.style) continue;
                    for (const name of rule.style) {
                        const value = rule.style.getPropertyValue(name);
                        if (!value.includes('url(')) continue;
                        probe.style.backgroundImage = name.startsWith('--') ? `var(${name})` : value.match(/url\([^)]*\)/)[0];
                        add(getComputedStyle(probe).backgroundImage);
                    }
                }
            probe.remove();
            const load = url => new Promise(done => {
                const image = new Image();
                image.onload = () => done(image.naturalWidth > 0 ? '' : 'empty: ' + url);
                image.onerror = () => done('missing: ' + url);
                image.src = url;
            });
            for (const result of await Promise.all([...urls].map(load))) if (result) problems.push(result);
            window.qvPictures = {problems: problems.join('\n'), pictures: urls.size, buttons: masked.length, shown};
        })();
        true)JS");
    QVariantMap pictures;
    ASSERT_TRUE(waitUntil([&] {
        pictures = scene.evaluate("window.qvPictures").toMap();
        return !pictures.isEmpty();
    }, 30000));
    EXPECT_EQ(pictures["problems"].toString().toStdString(), "");
    EXPECT_GE(pictures["pictures"].toInt(), 35) << "the stylesheet names about forty pictures";
    EXPECT_GE(pictures["buttons"].toInt(), 30);
    EXPECT_GE(pictures["shown"].toInt(), 5) << "the toolbar shows its buttons";

    // openPDF on a shown panel: the same rule, the next document.
    scene.page()->openPDF(second);
    EXPECT_EQ(qv::app::pdfViewerQuery, pdfViewerQueryFor(second));
    EXPECT_TRUE(waitUntil([&] { return pagesCount() == 3; }, 60000)) << "pages: " << pagesCount();
    qv::app::globalPdfMode = false;
}

namespace {

// A click of Qt's own mouse events on a web view's input widget: input the page takes as the
// teacher's (it may start a download).
void clickOn(QWidget* input, QPoint at) {
    auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(input->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &event);
        qv::test::spin(15);  // the engine takes each event in turn
    };
    send(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
}

// The centre of the viewer's element `selector`, once it is shown, in the page view's points.
QPoint centreOf(Scene& scene, const QString& selector) {
    QPoint at;
    EXPECT_TRUE(waitUntil([&] {
        const QVariantList box = scene.evaluate("(() => { const e = document.querySelector('" + selector + "');"
                                                " if (!e || !e.offsetParent) return null; const r = e.getBoundingClientRect();"
                                                " return [r.left + r.width / 2, r.top + r.height / 2]; })()").toList();
        if (box.size() != 2) return false;
        at = QPoint(qRound(box[0].toDouble()), qRound(box[1].toDouble()));
        return true;
    }, 30000)) << selector.toStdString() << " is not shown";
    return at;
}

// The value of a promise the page settles, kept in a global and asked for until it is there.
QString settled(Scene& scene, const QString& promise) {
    scene.evaluate("window.qvSettled = undefined; Promise.resolve().then(() => " + promise +
                   ").then(v => { window.qvSettled = String(v); }, e => { window.qvSettled = 'refused: ' + e.name; }); true");
    QString value;
    EXPECT_TRUE(waitUntil([&] {
        const QVariant v = scene.evaluate("window.qvSettled === undefined ? null : window.qvSettled");
        value = v.toString();
        return !v.isNull();
    }, 30000)) << promise.toStdString();
    return value;
}

// Counts the requests a server on a free port of this machine gets.
struct CountingServer {
    qv::server::HttpServer server;
    std::shared_ptr<std::atomic<int>> requests = std::make_shared<std::atomic<int>>(0);
    CountingServer() {
        server.trustedOrigins = {appOrigin().toStdString()};  // it would answer the viewer
        server.notFoundHandler = [requests = requests](const qv::server::HttpRequest&) {
            ++*requests;
            return qv::server::HttpResponse::raw(200, "OK", qv::server::HeaderFields{{"Access-Control-Allow-Origin", "*"}});
        };
        EXPECT_TRUE(qv::test::startServer(server, 0));
    }
    ~CountingServer() { server.stop(); }
    QString address(const char* path) const { return QString("http://127.0.0.1:%1/%2").arg(server.localPort()).arg(path); }
};

}  // namespace

// A document whose font would compile its script into the viewer is shown and runs nothing: the
// viewer builds no code from a document, and its page allows no eval and no connection but to
// the program. Were it to run, the script would rename the page, set a mark and call a server of
// this machine. A script that ran in the viewer all the same could read the document it was
// handed, and no other file of the disk.
TEST(BrowserPdf, AHostileDocumentIsShownAndRunsNothing) {
    CountingServer probe;
    QTemporaryDir dir;
    const QString hostile = dir.filePath("Worksheet.pdf");
    writeFile(hostile, qv::test::hostilePdf("document.title = 'ran'; window.qvRan = true; fetch('" + probe.address("ran") +
                                            "'); new Image().src = '" + probe.address("picture") + "'"));
    writeFile(dir.filePath("notes.txt"), "private notes");
    ProgramServer server;
    ASSERT_TRUE(server.server.isRunning());

    qv::app::globalPdfMode = true;
    qv::app::pdfViewerQuery = handPdfToViewer(hostile);
    Scene scene(/*pdfMode=*/true);
    // Drawn whole: the page's picture and the outline of the font's glyph.
    ASSERT_TRUE(waitUntil([&] {
        return scene.evaluate("window.PDFViewerApplication && PDFViewerApplication.pdfViewer.pagesCount === 1 &&"
                              " PDFViewerApplication.pdfViewer.getPageView(0).renderingState === 3").toBool();
    }, 60000)) << "the document was not drawn";
    EXPECT_EQ(scene.evaluate("typeof window.qvRan").toString().toStdString(), "undefined");
    EXPECT_EQ(scene.evaluate("document.title").toString().toStdString(), "Worksheet.pdf");
    qv::test::saveTestPicture(scene.window.grab().toImage(), "browser-pdf-hostile.png");
    // Drawn again larger, the glyph's outline is built once more.
    scene.evaluate("PDFViewerApplication.pdfViewer.currentScaleValue = '3'");
    ASSERT_TRUE(waitUntil([&] {
        return scene.evaluate("PDFViewerApplication.pdfViewer.getPageView(0).renderingState === 3 &&"
                              " PDFViewerApplication.pdfViewer.currentScale === 3").toBool();
    }, 60000));
    EXPECT_EQ(scene.evaluate("typeof window.qvRan").toString().toStdString(), "undefined");

    // The viewer's page itself: no text becomes code, nothing reaches another server.
    EXPECT_EQ(scene.evaluate("(() => { try { return eval('1'); } catch (e) { return e.name; } })()").toString().toStdString(),
              "EvalError");
    EXPECT_EQ(scene.evaluate("(() => { try { return new Function('return 1')(); } catch (e) { return e.name; } })()")
                  .toString()
                  .toStdString(),
              "EvalError");
    EXPECT_EQ(settled(scene, "fetch('" + probe.address("fetch") + "').then(r => r.status)").toStdString(), "refused: TypeError");
    // The program's server gives the page the document it was handed, and nothing else.
    const QString base = pdfServerOrigin() + "/files/";
    EXPECT_EQ(settled(scene, "fetch('" + base + pdfFileSegment(hostile) + "').then(r => r.status)").toStdString(), "200");
    EXPECT_EQ(settled(scene, "fetch('" + base + pdfFileSegment(dir.filePath("notes.txt")) + "').then(r => r.text())")
                  .toStdString(),
              "refused: TypeError");
    EXPECT_EQ(probe.requests->load(), 0) << "the document or its viewer called another server";
    qv::app::globalPdfMode = false;
}

// The viewer's Download saves the document's own bytes where the teacher chooses, offered under
// the file's own name; its Print prints the document's pages through the print dialog. A save that
// fails is shown in the window.
TEST(BrowserPdf, DownloadAndPrintTheDocumentUnderItsOwnName) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("Lesson plan.pdf");
    writePdf(pdf, 3);
    QFile original(pdf);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    ProgramServer server;
    QStringList failures;
    qv::app::setFailureDisplay([&](const QString& text) { failures << text; });

    qv::app::globalPdfMode = true;
    qv::app::pdfViewerQuery = handPdfToViewer(pdf);
    Scene scene(/*pdfMode=*/true);
    // Wide enough for the toolbar to show Print and Download.
    scene.window.resize(1200, 700);
    scene.panel->setGeometry(0, 0, 1200, 700);
    ASSERT_TRUE(waitUntil([&] {
        return scene.evaluate("window.PDFViewerApplication && PDFViewerApplication.pdfDocument ? "
                              "PDFViewerApplication.pagesCount : 0").toInt() == 3;
    }, 60000));
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("document.title").toString() == "Lesson plan.pdf"; }, 10000))
        << scene.evaluate("document.title").toString().toStdString();
    QWidget* input = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (input = scene.page()->wkWebView()->focusProxy()) != nullptr; }, 10000));

    // Download: offered as "Lesson plan.pdf", written where chosen, byte for byte.
    QDir(dir.path()).mkdir("saved");
    const QString saved = dir.filePath("saved/My copy.pdf");
    scene.dialogs->savePath = saved;
    clickOn(input, centreOf(scene, "#download"));
    ASSERT_TRUE(waitUntil([&] { return !scene.dialogs->suggestedPaths.isEmpty(); }, 30000)) << "no save dialog";
    EXPECT_EQ(QFileInfo(scene.dialogs->suggestedPaths.first()).fileName(), "Lesson plan.pdf");
    ASSERT_TRUE(waitUntil([&] {
        QFile file(saved);
        return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
    }, 30000)) << "the document was not saved whole";
    EXPECT_EQ(QDir(dir.filePath("saved")).entryList(QDir::Files), QStringList{"My copy.pdf"}) << "no leftovers";
    EXPECT_TRUE(failures.isEmpty()) << failures.join("\n").toStdString();

    // A place that cannot be written (below a file, even for root): the failure is shown.
    writeFile(dir.filePath("plain file"), "x");
    scene.dialogs->savePath = dir.filePath("plain file/Lesson plan.pdf");
    clickOn(input, centreOf(scene, "#download"));
    ASSERT_TRUE(waitUntil([&] { return !failures.isEmpty(); }, 30000)) << "a failed save was not shown";
    EXPECT_TRUE(failures.first().contains("The PDF could not be saved")) << failures.first().toStdString();

    // Print: the dialog is offered the document's three pages; pages 2 to 3 come out.
    scene.dialogs->printPath = dir.filePath("printed.pdf");
    scene.dialogs->printFrom = 2;
    scene.dialogs->printTo = 3;
    clickOn(input, centreOf(scene, "#print"));
    ASSERT_TRUE(waitUntil([&] { return !scene.dialogs->printPageCounts.isEmpty(); }, 60000)) << "no print dialog";
    EXPECT_EQ(scene.dialogs->printPageCounts.first(), 3);
    QPdfDocument printed;
    ASSERT_TRUE(waitUntil([&] {
        return printed.load(dir.filePath("printed.pdf")) == QPdfDocument::Error::None && printed.pageCount() == 2;
    }, 30000)) << "pages printed: " << printed.pageCount();
    qv::test::saveTestPicture(scene.window.grab().toImage(), "browser-pdf-lesson-plan.png");
    qv::app::setFailureDisplay(nullptr);
    qv::app::globalPdfMode = false;
}

// A page of another site, open in the browser panel, tries every way a page has to reach a file
// through the program's server: fetch, a script, a stylesheet, a picture, and a frame of an HTML
// file on disk whose script would read another file same-origin and post it out. It reads
// nothing, and every way answers alike for a file that exists and one that does not. The
// program's own ways in still work: the browser's own load of a file, and navigations from a
// page of the program to the lessons.
TEST(BrowserServer, APageOfAnotherSiteLearnsNothingOfTheDisk) {
    QTemporaryDir disk;
    ASSERT_TRUE(disk.isValid());
    auto segment = [&](const QString& name) { return "/files/" + pdfFileSegment(disk.filePath(name)); };
    writeFile(disk.filePath("secret.txt"), "top secret");
    writeFile(disk.filePath("secret.js"), "window.leaked = 'the script ran';");
    writeFile(disk.filePath("secret.css"), "#probe { width: 123px; }");
    ASSERT_TRUE(QImage(37, 23, QImage::Format_RGB32).save(disk.filePath("secret.png")));
    writeFile(disk.filePath("secret.html"),
              ("<!doctype html><title>static</title><script>document.title = 'ran';"
               "parent.postMessage('frame ran', '*');"
               "fetch('" + segment("secret.txt") + "').then(r => r.text())"
               ".then(t => parent.postMessage('frame read: ' + t, '*'), () => parent.postMessage('frame failed', '*'));"
               "</script>").toUtf8());
    ProgramServer program;
    ASSERT_TRUE(program.server.isRunning());

    // The other site: a server on another port of this machine. Its own frame, made last, reads a
    // file of its own site: once it has told that, a frame of the disk had its chance to tell too.
    qv::server::HttpServer site;
    QJsonObject config;
    config["bases"] = QJsonArray{program.origin("127.0.0.1"), program.origin("localhost")};
    for (const char* which : {"existing", "missing"}) {
        QJsonObject files;
        const QString folder = QString(which) == "existing" ? QString() : QStringLiteral("gone/");
        for (const char* kind : {"txt", "js", "css", "png", "html"}) files[kind] = segment(folder + "secret." + kind);
        config[which] = files;
    }
    const std::string attack =
        "<!doctype html><style>#probe { width: 10px; }</style><div id=probe></div><script>"
        "const config = " + QJsonDocument(config).toJson(QJsonDocument::Compact).toStdString() + ";"
        R"(window.results = {}; window.messages = []; window.pending = 0;
        addEventListener('message', e => messages.push(String(e.data)));
        function probe(key, start) { pending++; start(value => { results[key] = value; pending--; }); }
        function add(element) { (element.tagName == 'IFRAME' ? document.body : document.head).appendChild(element); }
        for (const base of config.bases) for (const which of ['existing', 'missing']) {
          const f = config[which], key = base + ' ' + which + ' ';
          probe(key + 'fetch', done => fetch(base + f.txt).then(r => r.text()).then(t => done('read: ' + t), () => done('failed')));
          probe(key + 'no-cors fetch', done => fetch(base + f.txt, {mode: 'no-cors'})
                .then(r => r.blob()).then(b => done('opaque, ' + b.size + ' bytes'), () => done('failed')));
          probe(key + 'script', done => { const e = document.createElement('script'); e.src = base + f.js;
                e.onload = () => done('load ' + (window.leaked || '')); e.onerror = () => done('error'); add(e); });
          probe(key + 'stylesheet', done => { const e = document.createElement('link'); e.rel = 'stylesheet';
                e.href = base + f.css; e.onload = () => done('load'); e.onerror = () => done('error'); add(e); });
          probe(key + 'picture', done => { const e = new Image(); e.onload = () => done('load ' + e.naturalWidth + 'x' + e.naturalHeight);
                e.onerror = () => done('error ' + e.naturalWidth + 'x' + e.naturalHeight); e.src = base + f.png; });
          probe(key + 'frame', done => { const e = document.createElement('iframe'); e.onload = () => done('load');
                e.src = base + f.html; add(e); });
        }
        const own = document.createElement('iframe'); own.src = '/own.html'; add(own);
        </script>)";
    site.GET["/"] = [attack](const qv::server::HttpRequest&) {
        return qv::server::HttpResponse::ok(qv::server::HttpResponseBody::html(attack));
    };
    site.GET["/own.html"] = [](const qv::server::HttpRequest&) {
        return qv::server::HttpResponse::ok(qv::server::HttpResponseBody::html(
            "<script>fetch('/own.txt').then(r => r.text()).then(t => parent.postMessage('own frame read: ' + t, '*'));</script>"));
    };
    site.GET["/own.txt"] = [](const qv::server::HttpRequest&) {
        return qv::server::HttpResponse::ok(qv::server::HttpResponseBody::text("mine"));
    };
    ASSERT_TRUE(qv::test::startServer(site, 0));

    Scene scene;
    ASSERT_TRUE(waitUntil([&] { return qv::app::browserWebView == scene.page(); }, 10000));
    scene.loadAndWait(QString("127.0.0.1:%1/").arg(site.localPort()));
    const QString settled = "window.pending === 0 && messages.includes('own frame read: mine')";
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate(settled).toBool(); }, 60000))
        << scene.evaluate("JSON.stringify([pending, results, messages])").toString().toStdString();
    const QJsonObject results = QJsonDocument::fromJson(scene.evaluate("JSON.stringify(results)").toString().toUtf8()).object();
    const std::map<QString, QString> refused = {
        {"fetch", "failed"},         {"no-cors fetch", "opaque, 0 bytes"}, {"script", "error"},
        {"stylesheet", "error"},     {"picture", "error 0x0"},             {"frame", "load"},
    };
    for (const QJsonValue base : config["bases"].toArray()) {
        for (const auto& [probe, expected] : refused) {
            const QString key = base.toString() + " existing " + probe;
            SCOPED_TRACE(key.toStdString());
            EXPECT_EQ(results[key].toString().toStdString(), expected.toStdString());
            EXPECT_EQ(results[base.toString() + " missing " + probe].toString().toStdString(),
                      results[key].toString().toStdString())
                << "an existing file is told from a missing one";
        }
    }
    EXPECT_EQ(scene.evaluate("JSON.stringify(messages)").toString(), "[\"own frame read: mine\"]");
    EXPECT_EQ(scene.evaluate("getComputedStyle(document.getElementById('probe')).width").toString(), "10px");
    EXPECT_EQ(scene.evaluate("typeof window.leaked").toString(), "undefined");
    site.stop();

    // The browser's own load of a file on disk: served, and a page among them runs as no page of
    // the server's origin (its script does not run).
    scene.loadAndWait(program.origin("localhost") + segment("secret.txt"));
    auto text = std::make_shared<std::optional<QString>>();
    scene.page()->wkWebView()->page()->toPlainText([text](const QString& t) { *text = t; });
    ASSERT_TRUE(waitUntil([&] { return text->has_value(); }, 30000));
    EXPECT_EQ(text->value(), "top secret");
    scene.loadAndWait(program.origin("localhost") + segment("secret.html"));
    EXPECT_EQ(scene.page()->wkWebView()->title().toStdString(), "static");

    // A page of the program (as the whiteboard is) navigates to the lessons, and on within them.
    QWebEngineProfile profile;
    installAppScheme(&profile);
    QWebEnginePage board(&profile);
    auto loadIn = [&](const std::function<void()>& start) {
        bool finished = false, ok = false;
        QMetaObject::Connection c = QObject::connect(&board, &QWebEnginePage::loadFinished, [&](bool success) {
            finished = true;
            ok = success;
        });
        start();
        EXPECT_TRUE(waitUntil([&] { return finished; }, 60000));
        QObject::disconnect(c);
        return ok;
    };
    EXPECT_TRUE(loadIn([&] { board.load(appUrl("wendlelessons/index.html")); }));
    EXPECT_TRUE(loadIn([&] { board.runJavaScript("location.href = '" + program.origin("localhost") + "/index.html'"); }));
    EXPECT_EQ(board.url(), QUrl(program.origin("localhost") + "/index.html"));
    EXPECT_EQ(board.title().toStdString(), "Lessons");
    EXPECT_TRUE(loadIn([&] { board.runJavaScript("document.querySelector('a').click()"); }));
    EXPECT_EQ(board.title().toStdString(), "Grade 1");
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

    // A new panel starts with Invert Color off though the app-wide inversion is still on, and
    // Background Removal as the app-wide value; its switch turned on changes nothing of the page
    // (the inversion is on already), and turned off again it ends the inversion everywhere.
    {
        BrowserView second(QString(), false, false, false, false, 0.8, {});
        EXPECT_FALSE(second.toggleModel().inverted);
        EXPECT_TRUE(second.toggleModel().enableRemoveBackground);
        EXPECT_TRUE(qv::app::invertColor);
        second.setInverted(true);
        EXPECT_TRUE(second.toggleModel().inverted);
        EXPECT_TRUE(qv::app::invertColor);
        second.setInverted(false);
        EXPECT_FALSE(qv::app::invertColor);
        EXPECT_TRUE(waitUntil(
            [&] {
                return scene.evaluate("getComputedStyle(document.body).filter")
                    .toString()
                    .contains("invert(0)");
            },
            10000));
        qv::app::browserWebView = scene.page();  // the second panel never showed, but reset anyway
    }
    scene.panel->setInverted(true);
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

    // A new window the page's script asks for, with no click of the teacher's, opens nothing
    // (the teacher's click is tried with the real pointer in the integration tests); the panel
    // stays where it was.
    scene.evaluate("window.open('http://localhost:1/popup'); document.getElementById('out').click()");
    qv::test::spin(1000);
    EXPECT_TRUE(scene.dialogs->opened.empty());
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
        EXPECT_TRUE(waitUntil([&] {
            return early.pictures()->picture(stored.thumbnail).state == BookmarkPictures::State::missing;
        }, 10000)) << "no picture: a placeholder";
    }

    scene.loadAndWait(server.base() + "two.html");
    // The address field holds typing that was never sent; the stored url is the page's.
    scene.panel->addressField()->setText("typed but not sent");
    BrowserBookmarkView view;
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(waitUntil([&] { return view.loaded(); }, 30000));
    ASSERT_EQ(view.bookmarkList().size(), 2);
    EXPECT_EQ(view.listView()->model()->rowCount(), 2);
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
    EXPECT_EQ(view.listView()->model()->rowCount(), 4);
    EXPECT_EQ(BrowserBookmarkView::listHeight(4), 400);
    EXPECT_EQ(BrowserBookmarkView::listHeight(0), 80);
    EXPECT_EQ(BrowserBookmarkView::listHeight(7), 500);

    // Deleting the second with its close mark removes its picture and its entry; the others keep
    // their order.
    ASSERT_EQ(view.bookmarkList()[1].id, added[0].id);
    qv::test::clickBookmarkCloseMark(view.listView(), 1);
    EXPECT_FALSE(QFileInfo::exists(bookmarkFolder + "/" + added[0].thumbnail));
    EXPECT_EQ(fileIds(), (QStringList{added[1].id, oneId, stored.id}));
    EXPECT_EQ(view.listView()->model()->rowCount(), 3);

    // A click on a bookmark's picture loads its address into the browser.
    bool finished = false;
    QObject::connect(scene.page(), &BrowserWebView::navigationFinished, [&](const QUrl&) { finished = true; });
    ASSERT_EQ(view.bookmarkList()[1].id, oneId);
    qv::test::clickBookmarkPicture(view.listView(), 1);
    ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));
    EXPECT_TRUE(scene.page()->wkWebView()->url().toString().endsWith("one.html"));

    // Read back by a new popover: every entry, pictures where they exist, placeholders where not.
    BrowserBookmarkView again;
    again.show();
    ASSERT_TRUE(waitUntil([&] { return again.loaded(); }, 30000));
    ASSERT_EQ(again.bookmarkList().size(), 3);
    auto pictureState = [&](int row) { return again.pictures()->picture(again.bookmarkList()[row].thumbnail).state; };
    EXPECT_TRUE(waitUntil([&] { return pictureState(0) == BookmarkPictures::State::shown; }, 10000));
    EXPECT_TRUE(waitUntil([&] { return pictureState(2) == BookmarkPictures::State::missing; }, 10000));

    // The panel's popover: as wide as the stack, the stack in it from edge to edge, and the
    // popover's own corners rounded as the stack's (radius 10: the pixel (2, 2) stays clear).
    scene.panel->setShowBookmark(true);
    ASSERT_TRUE(waitUntil([&] { return scene.panel->bookmarkView() && scene.panel->bookmarkView()->loaded(); }, 10000));
    QWidget* popover = scene.panel->bookmarkPopover();
    ASSERT_TRUE(waitUntil([&] { return popover->isVisible() && popover->width() == 140; }, 5000)) << popover->width();
    EXPECT_EQ(scene.panel->bookmarkView()->geometry(), QRect(0, 0, 140, popover->height() - 5));
    QImage drawn(popover->size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    popover->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_LT(drawn.pixelColor(2, 2).alpha(), 60);
    EXPECT_LT(drawn.pixelColor(137, drawn.height() - 3).alpha(), 60);
    EXPECT_GT(drawn.pixelColor(70, 2).alpha(), 200);
    scene.panel->setShowBookmark(false);
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

    // The board, sent to the silent server (our server's host is allowed), gives up in time and
    // shows our own board page (the one it showed, or our page loaded again).
    scene.panel->boardView()->setLoadTimeout(1500);
    QStringList boardLoads;
    QObject::connect(board->page(), &QWebEnginePage::loadingChanged, [&](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            boardLoads << "started " + info.url().toString();
    });
    clock.restart();
    board->load(QUrl("http://" + stuck));
    ASSERT_TRUE(waitUntil([&] { return !boardLoads.isEmpty(); }, 10000));
    EXPECT_EQ(boardLoads.first(), "started http://" + stuck);
    ASSERT_TRUE(waitUntil(
        [&] {
            return !board->page()->isLoading() && board->url() == BrowserBoardView::localBoardPageAddress();
        },
        30000))
        << board->url().toString().toStdString();
    EXPECT_GE(clock.elapsed(), 1400) << "the board gave up before the time was up";
    EXPECT_EQ(evaluateIn(board, "typeof allowAnnotation").toString(), "function");
    EXPECT_EQ(failed.size(), 1u) << "the page's stuck load is reported once";
}

namespace {

// A server on a free port that sends its answers a piece at a time, as a slow network does:
//   /slow.html  a page whose lines come one every `everyMs`, the last one "<p id=end>";
//   /slow.bmp   a 200 x 200 picture whose rows come a part every `everyMs`;
//   /picture.html  a page showing /slow.bmp;
//   /stalled.png   never answered (the connection is taken and kept);
//   /drawn.html    a page that draws at once and then waits for /stalled.png.
class DribblingServer {
public:
    DribblingServer(int pieces, int everyMs) : pieces_(pieces), everyMs_(everyMs) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) serve(socket);
        });
    }
    QString base() const { return QString("localhost:%1/").arg(server_.serverPort()); }

private:
    static QByteArray bmpHeader(int side) {
        QByteArray h(54, '\0');
        auto put = [&](int at, quint32 v, int bytes) {
            for (int i = 0; i < bytes; ++i) h[at + i] = char((v >> (8 * i)) & 0xff);
        };
        const quint32 data = quint32(side * side * 3);
        h[0] = 'B';
        h[1] = 'M';
        put(2, 54 + data, 4);
        put(10, 54, 4);
        put(14, 40, 4);
        put(18, quint32(side), 4);
        put(22, quint32(side), 4);
        put(26, 1, 2);
        put(28, 24, 2);
        put(34, data, 4);
        return h;
    }

    void serve(QTcpSocket* socket) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray& request = requests_[socket];
            request += socket->readAll();
            if (!request.contains("\r\n\r\n") || socket->property("answered").toBool()) return;
            socket->setProperty("answered", true);
            const QByteArray path = request.split(' ').value(1);
            if (path == "/stalled.png") return;  // kept, never answered
            if (path == "/drawn.html" || path == "/picture.html") {
                const QByteArray body =
                    path == "/drawn.html"
                        ? "<html><body style='margin:0'><div id=drawn "
                          "style='height:300px;background:rgb(0,120,0)'>"
                          "drawn</div><script>window.kept = 'the same page';</script><img "
                          "src=/stalled.png></body></html>"
                        : "<html><body style='margin:0'><img id=picture src=/slow.bmp></body></html>";
                socket->write(
                    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
                return;
            }
            const bool picture = path == "/slow.bmp";
            socket->write(
                QByteArray(
                    "HTTP/1.1 200 OK\r\nConnection: close\r\nTransfer-Encoding: chunked\r\nContent-Type: ") +
                (picture ? "image/bmp" : "text/html") + "\r\n\r\n");
            auto pieces = std::make_shared<QList<QByteArray>>();
            if (picture) {
                constexpr int side = 200;
                QByteArray pixels(side * side * 3, char(0x40));
                *pieces << bmpHeader(side);
                const int part = int(pixels.size() / pieces_ + 1);
                for (int at = 0; at < pixels.size(); at += part) *pieces << pixels.mid(at, part);
            } else {
                *pieces << "<html><head><title>Slow</title></head><body style='background:rgb(250,250,200)'>";
                for (int i = 1; i < pieces_; ++i) *pieces << "<p>line " + QByteArray::number(i) + "</p>\n";
                *pieces << "<p id=end>the end</p></body></html>";
            }
            auto* timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, pieces] {
                if (pieces->isEmpty()) {
                    socket->write("0\r\n\r\n");
                    socket->disconnectFromHost();
                    timer->stop();
                    return;
                }
                const QByteArray piece = pieces->takeFirst();
                socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
            });
            timer->start(everyMs_);
        });
    }

    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> requests_;
    int pieces_;
    int everyMs_;
};

}  // namespace

// On a slow network a page keeps arriving long after the deadline would have passed for it as a
// whole: it is never cut while it arrives, and once it has all come, the panel follows it
// (address, backgrounds taken away). A page that drew and then waits on a request that never
// answers is kept on the board, with its ink, when that deadline passes.
TEST(BrowserSlowLoads, PagesThatKeepArrivingAreNotCutAndADrawnBoardStays) {
    DribblingServer slow(/*pieces=*/24, /*everyMs=*/250);  // 6 s for each answer
    qv::app::enableRemoveBackground = true;
    qv::app::invertColor = false;
    Scene scene;
    ASSERT_TRUE(waitUntil([&] { return qv::app::browserWebView == scene.page(); }, 10000));
    scene.page()->setLoadTimeout(1500);
    std::vector<QUrl> failed;
    std::vector<QUrl> finished;
    QObject::connect(scene.page(), &BrowserWebView::navigationFailed,
                     [&](const QUrl& url) { failed.push_back(url); });
    QObject::connect(scene.page(), &BrowserWebView::navigationFinished,
                     [&](const QUrl& url) { finished.push_back(url); });

    struct Case {
        const char* path;
        const char* whole;  // true once all of it has come
    };
    const Case cases[] = {
        {"slow.html", "document.getElementById('end') !== null"},
        {"picture.html",
         "(() => { const p = document.getElementById('picture');"
         " return p.complete && p.naturalWidth === 200; })()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        failed.clear();
        finished.clear();
        QElapsedTimer clock;
        clock.start();
        scene.page()->loadURL(slow.base() + c.path);
        ASSERT_TRUE(waitUntil([&] { return !finished.empty() || !failed.empty(); }, 60000));
        EXPECT_TRUE(failed.empty()) << "the load was cut after " << clock.elapsed() << " ms";
        EXPECT_GE(clock.elapsed(), 4000) << "it came faster than it was sent";
        EXPECT_TRUE(scene.evaluate(c.whole).toBool());
        EXPECT_EQ(scene.panel->address(), "http://" + slow.base() + c.path);
        EXPECT_TRUE(waitUntil(
            [&] {
                return scene
                    .evaluate(
                        "getComputedStyle(document.body).backgroundImage + ' ' + "
                        "document.body.style.background")
                    .toString()
                    .contains("none");
            },
            10000))
            << "Background Removal was not applied";
    }
    qv::app::enableRemoveBackground = false;

    // The board: a page that has drawn keeps its place though one of its pictures never comes.
    BrowserBoardView* boardView = scene.panel->boardView();
    QWebEngineView* board = boardView->wkWebView();
    ASSERT_TRUE(waitUntil([&] { return board->url() == BrowserBoardView::localBoardPageAddress(); }, 60000));
    boardView->setLoadTimeout(1500);
    const QUrl drawn("http://" + slow.base() + "drawn.html");
    board->load(drawn);
    ASSERT_TRUE(waitUntil(
        [&] { return evaluateIn(board, "window.kept || ''").toString() == "the same page"; }, 30000));
    evaluateIn(board, "window.ink = 'drawn by the teacher'");
    ASSERT_TRUE(waitUntil([&] { return !board->page()->isLoading(); }, 30000))
        << "the stalled load was never ended";
    qv::test::spin(1000);  // what would replace the page has had its time
    EXPECT_EQ(board->url(), drawn);
    EXPECT_EQ(evaluateIn(board, "window.ink || ''").toString(), "drawn by the teacher");
}
