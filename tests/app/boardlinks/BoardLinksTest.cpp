// The board page over the browser, as the teacher meets it: served over HTTPS from the board's
// host (mapped to a server of this test), annotation switched on with the panel's button, and
// links on the board clicked with the real pointer. A link to a local PDF opens the browser in PDF
// mode on that file; a link to a local picture does nothing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <vector>

#include "app/ContentView.h"
#include "app/InitGlobal.h"
#include "app/integration/PageInput.h"
#include "app/rootview/RootView.h"
#include "app/rootview/RootViewParts.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "server/HttpServer.h"
#include "support/ContentWindow.h"
#include "support/LocalServer.h"
#include "support/QtWait.h"
#include "util/BuildInfo.h"
#include "webpanels/BrowserBoardView.h"
#include "webpanels/BrowserImages.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/PdfViewerAddress.h"

using namespace qv::app;
using qv::test::clickOnScreen;
using qv::test::evaluate;
using qv::test::waitUntil;
namespace nt = qv::app::notification;

namespace {

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(QV_TEST_SOURCE_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// The board's site: one page at "/wendle/mac" (and one for a frame of it at "/wendle/frame"),
// over TLS with the tests' own certificate.
class BoardSite {
public:
    explicit BoardSite(QByteArray page, QByteArray frame = {})
        : page_(std::move(page)), frame_(std::move(frame)) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate(fixture("board-cert.pem")));
        tls.setPrivateKey(QSslKey(fixture("board-key.pem"), QSsl::Rsa));
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        server_.setSslConfiguration(tls);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) serve(socket);
        });
    }
    // The port is the one the engine's host rule names; another run may hold it for a while.
    bool listen() {
        return waitUntil([&] { return server_.listen(QHostAddress::LocalHost, QV_BOARD_TEST_PORT); }, 120000);
    }
    int pageRequests() const { return pageRequests_; }

private:
    void serve(QTcpSocket* socket) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray& request = requests_[socket];
            request += socket->readAll();
            if (!request.contains("\r\n\r\n")) return;
            const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
            const bool isPage = line.size() >= 2 && line[0] == "GET" && line[1] == "/wendle/mac";
            const bool isFrame =
                !frame_.isEmpty() && line.size() >= 2 && line[0] == "GET" && line[1] == "/wendle/frame";
            pageRequests_ += isPage;
            const QByteArray body = isPage ? page_ : isFrame ? frame_ : QByteArray("not here");
            socket->write(
                (isPage || isFrame ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                QByteArray(
                    "Content-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: ") +
                QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
            requests_.remove(socket);
        });
    }

    QSslServer server_;
    QByteArray page_;
    QByteArray frame_;
    QHash<QTcpSocket*, QByteArray> requests_;
    int pageRequests_ = 0;
};

// The middle of an element of the page, on the screen.
QPoint onScreen(QWebEngineView* view, const QString& id) {
    const QVariantList box =
        evaluate(view->page(), QStringLiteral("(() => { const r = document.getElementById('%1').getBoundingClientRect();"
                                              " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                                   .arg(id))
            .toList();
    EXPECT_EQ(box.size(), 2);
    if (box.size() != 2) return {};
    return view->mapToGlobal(QPoint(qRound(box[0].toDouble()), qRound(box[1].toDouble())));
}

// A link of the board page, as the page lays it out.
QString boardLink(const QString& id, const QString& address, int top) {
    return QStringLiteral(
               "<a id=%1 href=\"%2\" style=\"position:absolute;left:80px;top:%3px;width:240px;"
               "height:70px;background:rgb(0,110,230);color:white;font:20px sans-serif\">%1</a>")
        .arg(id, address, QString::number(top));  // one call: an address's "%00" is no place for text
}

QString fileAddress(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

// The main window with the browser panel open, its board page served by `site` and annotation
// switched on with the panel's button: the board lies in front and takes the real pointer's
// clicks. `opened` gathers every "OpenBrowser" posted from then on.
struct BoardScene {
    qv::test::TemporaryFolders folders;
    QObject observer;
    std::vector<QVariantMap> opened;
    QWidget window;
    ContentView* content = nullptr;
    CameraArea* area = nullptr;
    std::vector<QPointer<QWebEnginePage>> accepting;
    qv::webpanels::BrowserView* browser = nullptr;
    QWebEngineView* board = nullptr;

    ~BoardScene() {
        NotificationCenter::defaultCenter().removeObservers(&observer);
        globalPdfMode = false;
        setFolderLocations(nullptr);
    }

    // Opens the panel and waits for the board page, whose element `loaded` shows it is there.
    void open(BoardSite& site, const QString& loaded) {
        ASSERT_TRUE(folders.makeAndSet());
        NotificationCenter::defaultCenter().addObserver(
            &observer, nt::OpenBrowser, [this](const Notification& n) { opened.push_back(n.userInfo); });
        content = qv::test::showContentWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        area = content->rootView()->cameraArea();

        // The tests' certificate is accepted for the board's host, on the board page of every
        // panel, from its first load on (the panel is made and shown while the model reports a
        // change).
        QObject::connect(&content->rootView()->model(), &RootViewModel::changed, &observer, [this] {
            if (!area->browserPanel()) return;
            for (auto* boardView : area->browserPanel()->findChildren<qv::webpanels::BrowserBoardView*>()) {
                QWebEnginePage* boardPage = boardView->wkWebView()->page();
                if (std::find(accepting.begin(), accepting.end(), boardPage) != accepting.end()) continue;
                accepting.emplace_back(boardPage);
                QObject::connect(boardPage, &QWebEnginePage::certificateError,
                                 [](const QWebEngineCertificateError& e) {
                                     if (e.url().host() != QLatin1String(qv::util::build::boardHost)) return;
                                     QWebEngineCertificateError error = e;
                                     error.acceptCertificate();
                                 });
            }
        });

        post(nt::OpenBrowser, {{"pdfMode", false}});
        opened.clear();
        ASSERT_TRUE(waitUntil([&] { return area->browserPanel() && browserBoardView; }, 10000));
        browser = qobject_cast<qv::webpanels::BrowserView*>(area->browserPanel()->browser());
        ASSERT_TRUE(browser);
        board = browser->boardView()->wkWebView();
        ASSERT_TRUE(waitUntil(
            [&] {
                return board->url() == qv::webpanels::BrowserBoardView::boardPageAddress() &&
                       evaluate(board->page(), loaded).toBool();
            },
            60000))
            << "the board page did not load from the test's server: "
            << board->url().toString().toStdString();
        EXPECT_EQ(site.pageRequests(), 1);

        // Annotation on, with the panel's button. The panel is laid out a moment after it opens;
        // the pointer goes where it then lies.
        ASSERT_TRUE(waitUntil([&] { return area->browserPanel()->width() > window.width() / 2; }, 10000));
        qv::webpanels::BrowserImageButton* annotate = browser->button("toolbar_freehand");
        ASSERT_TRUE(annotate);
        clickOnScreen(annotate->mapToGlobal(annotate->rect().center()));
        ASSERT_TRUE(waitUntil([&] { return browser->enableAnnotation(); }, 10000));
        ASSERT_TRUE(waitUntil([&] { return evaluate(board->page(), "window.annotating").toBool(); }, 10000));
    }

    // The browser panel that came in PDF mode in place of the first; null when none came.
    qv::webpanels::BrowserView* pdfPanel() {
        qv::webpanels::BrowserView* panel = nullptr;
        waitUntil(
            [&] {
                panel = area->browserPanel()
                            ? qobject_cast<qv::webpanels::BrowserView*>(area->browserPanel()->browser())
                            : nullptr;
                return panel && panel != browser && panel->pdfMode();
            },
            10000);
        return panel && panel != browser && panel->pdfMode() ? panel : nullptr;
    }
};

const char* const annotationScript =
    "<script>window.annotating = false; window.allowAnnotation = (on) => { window.annotating = on; "
    "};</script>";

}  // namespace

TEST(BoardOverBrowser, ARealClickOnALocalPdfLinkOpensThePdfPanelAndOneOnAPictureDoesNothing) {
    QTemporaryDir files;
    const QString pdf = files.filePath("Lesson plan.pdf");
    const QString picture = files.filePath("Class photo.png");
    const QString other = files.filePath("Handled by the page.pdf");
    for (const QString& document : {pdf, other}) {  // two pages each
        QPdfWriter writer(document);
        QPainter painter(&writer);
        for (int page = 1; page <= 2; ++page) {
            if (page > 1) writer.newPage();
            painter.drawText(QRect(0, 0, writer.width(), writer.height()), Qt::AlignCenter, QString("Page %1").arg(page));
        }
    }
    // The program's own server, on a free port: the viewer reads the file through it.
    std::shared_ptr<qv::server::HttpServer> server = makeProgramServer(0);
    ASSERT_TRUE(qv::test::startServer(*server, 0));
    qv::webpanels::setPdfServerPort(server->localPort());
    struct ServerStop {
        qv::server::HttpServer& server;
        ~ServerStop() {
            server.stop();
            qv::webpanels::setPdfServerPort(9080);
        }
    } serverStop{*server};
    const QString page = QStringLiteral(
                             "<!DOCTYPE html><html><head><title>Board</title></head>"
                             "<body style=\"margin:0;background:transparent\">") +
                         boardLink("picture", fileAddress(picture), 80) +
                         boardLink("pdf", fileAddress(pdf), 200) +
                         boardLink("handled", fileAddress(other), 320) +
                         QStringLiteral(
                             "<script>document.getElementById('handled').onclick = (e) => e.preventDefault();"
                             "</script>") +
                         QString::fromLatin1(annotationScript) + QStringLiteral("</body></html>");
    BoardSite site(page.toUtf8());
    ASSERT_TRUE(site.listen()) << "port " << QV_BOARD_TEST_PORT << " stayed taken";
    BoardScene scene;
    scene.open(site, "document.getElementById('pdf') !== null");
    if (HasFatalFailure()) return;

    // The picture's link and a link the page handles itself first, then the PDF's: only the PDF
    // reaches the browser.
    clickOnScreen(onScreen(scene.board, "picture"));
    clickOnScreen(onScreen(scene.board, "handled"));
    clickOnScreen(onScreen(scene.board, "pdf"));
    ASSERT_TRUE(waitUntil([&] { return !scene.opened.empty(); }, 20000)) << "the PDF link opened nothing";
    EXPECT_EQ(scene.opened.front(), (QVariantMap{{"pdfMode", true}, {"pdfPath", pdf}}));

    // The browser comes back in PDF mode on that file.
    qv::webpanels::BrowserView* pdfPanel = scene.pdfPanel();
    ASSERT_TRUE(pdfPanel);
    EXPECT_TRUE(pdfPanel->findChild<QWidget*>("pdfTitle")->isVisible());
    EXPECT_EQ(pdfViewerQuery, qv::webpanels::pdfViewerQueryFor(pdf));
    EXPECT_EQ(pdfPanel->browserWebView()->startPage(), qv::webpanels::pdfViewerAddress(pdfViewerQuery));
    EXPECT_EQ(scene.opened.size(), 1u);
    // The viewer shows the document the link named, read from the program's server, which gives
    // the viewer that file and not the other PDF the board named.
    QWebEnginePage* viewer = pdfPanel->browserWebView()->wkWebView()->page();
    ASSERT_TRUE(waitUntil([&] {
        return evaluate(viewer, "window.PDFViewerApplication && PDFViewerApplication.pdfDocument ?"
                                " PDFViewerApplication.pagesCount : 0").toInt() == 2;
    }, 60000)) << "the PDF was not shown";
    evaluate(viewer, "window.otherRead = null; fetch('" + qv::webpanels::pdfServerAddress(other) +
                         "').then(r => { window.otherRead = 'read'; }, e => { window.otherRead = 'refused'; }); true");
    EXPECT_TRUE(waitUntil([&] { return evaluate(viewer, "window.otherRead").toString() == "refused"; }, 30000))
        << evaluate(viewer, "window.otherRead").toString().toStdString();
}

// Links inside a frame of the board page follow the same rule as the page's own; a link whose
// name holds a NUL ("%00") names no file and does nothing: the board stays as it was.
TEST(BoardOverBrowser, LinksInAFrameOfTheBoardOpenPdfsAndANulNameDoesNothing) {
    QTemporaryDir files;
    const QString pdf = files.filePath("Frame worksheet.pdf");
    const QString frame =
        QStringLiteral("<!DOCTYPE html><html><body style=\"margin:0;background:transparent\">") +
        boardLink("framed", fileAddress(pdf), 10) +
        boardLink("picture", fileAddress(files.filePath("a.png")), 100) + QStringLiteral("</body></html>");
    const QString page = QStringLiteral(
                             "<!DOCTYPE html><html><head><title>Board</title></head>"
                             "<body style=\"margin:0;background:transparent\">") +
                         boardLink("nul", QStringLiteral("file:///tmp/nothing%00.pdf"), 80) +
                         QStringLiteral(
                             "<iframe id=frame src=\"/wendle/frame\" style=\"position:absolute;left:0;"
                             "top:200px;width:420px;height:200px;border:0\"></iframe>") +
                         QString::fromLatin1(annotationScript) + QStringLiteral("</body></html>");
    BoardSite site(page.toUtf8(), frame.toUtf8());
    ASSERT_TRUE(site.listen()) << "port " << QV_BOARD_TEST_PORT << " stayed taken";
    BoardScene scene;
    scene.open(site,
               "(() => { const f = document.getElementById('frame');"
               " return !!(f && f.contentDocument && f.contentDocument.getElementById('framed')); })()");
    if (HasFatalFailure()) return;
    // The middle of an element of the frame, on the screen.
    auto inFrame = [&](const char* id) {
        const QVariantList box =
            evaluate(
                scene.board->page(),
                QStringLiteral("(() => { const f = document.getElementById('frame');"
                               " const o = f.getBoundingClientRect();"
                               " const r = f.contentDocument.getElementById('%1').getBoundingClientRect();"
                               " return [o.left + r.left + r.width / 2, o.top + r.top + r.height / 2]; })()")
                    .arg(QLatin1String(id)))
                .toList();
        EXPECT_EQ(box.size(), 2);
        if (box.size() != 2) return QPoint();
        return scene.board->mapToGlobal(QPoint(qRound(box[0].toDouble()), qRound(box[1].toDouble())));
    };

    // The NUL link, then the frame's picture link: nothing, and the board page stays.
    clickOnScreen(onScreen(scene.board, "nul"));
    clickOnScreen(inFrame("picture"));
    qv::test::spin(1000);
    EXPECT_TRUE(scene.opened.empty()) << scene.opened.front().value("pdfPath").toString().toStdString();
    EXPECT_EQ(scene.board->url(), qv::webpanels::BrowserBoardView::boardPageAddress())
        << scene.board->url().toString().toStdString();
    EXPECT_TRUE(evaluate(scene.board->page(), "window.annotating").toBool()) << "the board page was replaced";

    // The frame's PDF link: the browser in PDF mode on that file.
    clickOnScreen(inFrame("framed"));
    ASSERT_TRUE(waitUntil([&] { return !scene.opened.empty(); }, 20000))
        << "the frame's PDF link opened nothing";
    EXPECT_EQ(scene.opened.front(), (QVariantMap{{"pdfMode", true}, {"pdfPath", pdf}}));
    EXPECT_TRUE(scene.pdfPanel());
    EXPECT_EQ(scene.opened.size(), 1u);
}
