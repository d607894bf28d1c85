// The board page over the browser, as the teacher meets it: served over HTTPS from the board's
// host (mapped to a server of this test), annotation switched on with the panel's button, and
// links on the board clicked with the real pointer. A link to a local PDF opens the browser in PDF
// mode on that file; a link to a local picture does nothing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
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
using qv::test::evaluate;
using qv::test::waitUntil;
namespace nt = qv::app::notification;

namespace {

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(QV_TEST_SOURCE_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// The board's site: one page at "/wendle/mac", over TLS with the tests' own certificate.
class BoardSite {
public:
    explicit BoardSite(QByteArray page) : page_(std::move(page)) {
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
            pageRequests_ += isPage;
            const QByteArray body = isPage ? page_ : QByteArray("not here");
            socket->write((isPage ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                          QByteArray("Content-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: ") +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
            requests_.remove(socket);
        });
    }

    QSslServer server_;
    QByteArray page_;
    QHash<QTcpSocket*, QByteArray> requests_;
    int pageRequests_ = 0;
};

// A click of the real pointer (XTest) at a point of the screen.
void clickOnScreen(QPoint at) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                              QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                                              QStringLiteral("1")});
    ASSERT_TRUE(xdotool.waitForFinished(20000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

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

}  // namespace

TEST(BoardOverBrowser, ARealClickOnALocalPdfLinkOpensThePdfPanelAndOneOnAPictureDoesNothing) {
    qv::test::TemporaryFolders folders;
    ASSERT_TRUE(folders.makeAndSet());
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
    auto link = [](const QString& id, const QString& path, int top) {
        return QStringLiteral("<a id=%1 href=\"%2\" style=\"position:absolute;left:80px;top:%3px;width:240px;"
                              "height:70px;background:rgb(0,110,230);color:white;font:20px sans-serif\">%1</a>")
            .arg(id, QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded))
            .arg(top);
    };
    const QString page = QStringLiteral("<!DOCTYPE html><html><head><title>Board</title></head>"
                                        "<body style=\"margin:0;background:transparent\">") +
                         link("picture", picture, 80) + link("pdf", pdf, 200) + link("handled", other, 320) +
                         QStringLiteral("<script>window.annotating = false;"
                                        " document.getElementById('handled').onclick = (e) => e.preventDefault();"
                                        " window.allowAnnotation = (on) => { window.annotating = on; };</script>"
                                        "</body></html>");
    BoardSite site(page.toUtf8());
    ASSERT_TRUE(site.listen()) << "port " << QV_BOARD_TEST_PORT << " stayed taken";

    QObject observer;
    std::vector<QVariantMap> opened;
    NotificationCenter::defaultCenter().addObserver(&observer, nt::OpenBrowser,
                                                    [&](const Notification& n) { opened.push_back(n.userInfo); });
    QWidget window;
    ContentView* content = qv::test::showContentWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CameraArea* area = content->rootView()->cameraArea();

    // The tests' certificate is accepted for the board's host, on the board page of every panel,
    // from its first load on (the panel is made and shown while the model reports a change).
    std::vector<QPointer<QWebEnginePage>> accepting;
    QObject::connect(&content->rootView()->model(), &RootViewModel::changed, &observer, [&] {
        if (!area->browserPanel()) return;
        for (auto* board : area->browserPanel()->findChildren<qv::webpanels::BrowserBoardView*>()) {
            QWebEnginePage* boardPage = board->wkWebView()->page();
            if (std::find(accepting.begin(), accepting.end(), boardPage) != accepting.end()) continue;
            accepting.emplace_back(boardPage);
            QObject::connect(boardPage, &QWebEnginePage::certificateError, [](const QWebEngineCertificateError& e) {
                if (e.url().host() != QLatin1String(qv::util::build::boardHost)) return;
                QWebEngineCertificateError error = e;
                error.acceptCertificate();
            });
        }
    });

    post(nt::OpenBrowser, {{"pdfMode", false}});
    opened.clear();
    ASSERT_TRUE(waitUntil([&] { return area->browserPanel() && browserBoardView; }, 10000));
    auto* browser = qobject_cast<qv::webpanels::BrowserView*>(area->browserPanel()->browser());
    ASSERT_TRUE(browser);
    QWebEngineView* board = browser->boardView()->wkWebView();
    ASSERT_TRUE(waitUntil([&] {
        return board->url() == qv::webpanels::BrowserBoardView::boardPageAddress() &&
               evaluate(board->page(), "document.getElementById('pdf') !== null").toBool();
    }, 60000)) << "the board page did not load from the test's server: " << board->url().toString().toStdString();
    EXPECT_EQ(site.pageRequests(), 1);

    // Annotation on, with the panel's button: the board lies in front and takes the clicks. The
    // panel is laid out a moment after it opens; the pointer goes where it then lies.
    ASSERT_TRUE(waitUntil([&] { return area->browserPanel()->width() > window.width() / 2; }, 10000));
    qv::webpanels::BrowserImageButton* annotate = browser->button("toolbar_freehand");
    ASSERT_TRUE(annotate);
    clickOnScreen(annotate->mapToGlobal(annotate->rect().center()));
    ASSERT_TRUE(waitUntil([&] { return browser->enableAnnotation(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return evaluate(board->page(), "window.annotating").toBool(); }, 10000));

    // The picture's link and a link the page handles itself first, then the PDF's: only the PDF
    // reaches the browser.
    clickOnScreen(onScreen(board, "picture"));
    clickOnScreen(onScreen(board, "handled"));
    clickOnScreen(onScreen(board, "pdf"));
    ASSERT_TRUE(waitUntil([&] { return !opened.empty(); }, 20000)) << "the PDF link opened nothing";
    EXPECT_EQ(opened.front(), (QVariantMap{{"pdfMode", true}, {"pdfPath", pdf}}));

    // The browser comes back in PDF mode on that file.
    qv::webpanels::BrowserView* pdfPanel = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        pdfPanel = area->browserPanel() ? qobject_cast<qv::webpanels::BrowserView*>(area->browserPanel()->browser())
                                        : nullptr;
        return pdfPanel && pdfPanel != browser && pdfPanel->pdfMode();
    }, 10000));
    EXPECT_TRUE(pdfPanel->findChild<QWidget*>("pdfTitle")->isVisible());
    EXPECT_EQ(pdfViewerQuery, qv::webpanels::pdfViewerQueryFor(pdf));
    EXPECT_EQ(pdfPanel->browserWebView()->startPage(), qv::webpanels::pdfViewerAddress(pdfViewerQuery));
    EXPECT_EQ(opened.size(), 1u);
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
    server->stop();
    qv::webpanels::setPdfServerPort(9080);
    NotificationCenter::defaultCenter().removeObservers(&observer);
    globalPdfMode = false;
    setFolderLocations(nullptr);
}
