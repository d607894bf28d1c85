// The whiteboard page in its host: transparency over the camera, drawing, snapshots, gestures,
// escaped texts and navigation, with synthetic input. Each test starts one engine, so each test
// checks several things of one scene.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QMouseEvent>
#include <QPainter>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebEngineProfile>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <fstream>
#include <memory>
#include <mutex>

#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"
#include "support/TestPictures.h"
#include "webpanels/AppScheme.h"
#include "webpanels/PdfViewerAddress.h"
#include "webpanels/FakeCamera.h"
#include "webpanels/ScriptCalls.h"
#include "webpanels/WebView.h"
#include "webpanels/WebViewController.h"

using namespace qv::webpanels;
using qv::test::waitUntil;

namespace {

const QColor patternA(30, 90, 200);
const QColor patternB(250, 210, 40);
constexpr int square = 40;

// Stands in for the camera picture: a painted checkerboard.
class PatternWidget : public QWidget {
public:
    using QWidget::QWidget;
    static QColor colourAt(QPoint p) { return ((p.x() / square + p.y() / square) % 2) ? patternB : patternA; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (int y = 0; y < height(); y += square)
            for (int x = 0; x < width(); x += square) painter.fillRect(x, y, square, square, colourAt({x, y}));
    }
};

struct Scene {
    QWidget container;
    PatternWidget* camera;
    WebView* whiteboard;
    std::shared_ptr<qv::test::FakeCamera> fakeCamera = std::make_shared<qv::test::FakeCamera>();
    QObject observer;
    std::vector<QVariantMap> loadingReports;
    std::vector<QVariantMap> openBrowser;

    Scene() {
        auto& centre = qv::app::NotificationCenter::defaultCenter();
        centre.addObserver(&observer, qv::app::notification::showLoadingMarrowPanel,
                           [this](const qv::app::Notification& n) { loadingReports.push_back(n.userInfo); });
        centre.addObserver(&observer, qv::app::notification::OpenBrowser,
                           [this](const qv::app::Notification& n) { openBrowser.push_back(n.userInfo); });
        container.resize(1000, 640);
        camera = new PatternWidget(&container);
        camera->setGeometry(container.rect());
        whiteboard = new WebView(&container);
        whiteboard->setGeometry(container.rect());
        whiteboard->webViewController()->setCameraGestureTarget(fakeCamera);
        container.show();  // the first show loads the page
    }

    QWebEnginePage* page() const { return whiteboard->wkWebView()->page(); }
    QWidget* input() const { return whiteboard->wkWebView()->focusProxy(); }

    // Runs a script in the page and waits for its value.
    QVariant evaluate(const QString& script) {
        auto result = std::make_shared<std::optional<QVariant>>();
        page()->runJavaScript(script, [result](const QVariant& v) { *result = v; });
        EXPECT_TRUE(waitUntil([&] { return result->has_value(); }, 20000)) << script.toStdString();
        return result->value_or(QVariant());
    }

    // The page has loaded, its functions exist and its messages reach the native side.
    void waitUntilReady() {
        ASSERT_TRUE(waitUntil([&] { return !loadingReports.empty() && !loadingReports.back().value("show").toBool(); },
                              60000))
            << "the whiteboard page did not finish loading";
        ASSERT_TRUE(waitUntil([&] { return evaluate("typeof window.marrowPanel").toString() == "object"; }, 20000));
        // A message through the bridge proves the channel is open.
        evaluate("window.webkit.messageHandlers.swiftMessageHandler.postMessage({type: 'gesturestart', scale: 0.5})");
        ASSERT_TRUE(waitUntil([&] { return whiteboard->webViewController()->gestureScale() == 0.5f; }, 20000));
        evaluate("window.webkit.messageHandlers.swiftMessageHandler.postMessage({type: 'gesturestart', scale: 1})");
        ASSERT_TRUE(waitUntil([&] { return whiteboard->webViewController()->gestureScale() == 1.0f; }, 20000));
        ASSERT_TRUE(waitUntil([&] { return input() != nullptr; }, 20000));
    }

    // The whiteboard's snapshot, waited for.
    QImage snapshot() {
        auto result = std::make_shared<std::optional<std::pair<QImage, QString>>>();
        whiteboard->takeSnapshot([result](const QImage& picture, const QString& error) { *result = {picture, error}; });
        EXPECT_TRUE(waitUntil([&] { return result->has_value(); }, 20000));
        if (!result->has_value()) return {};
        EXPECT_TRUE((*result)->second.isEmpty()) << (*result)->second.toStdString();
        return (*result)->first;
    }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QWidget* target = input();
        QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
        qv::test::spin(15);  // let the engine take each event in turn
    }

    // A left-button drag in steps.
    void drag(QPoint from, QPoint to, int steps = 12) {
        mouse(QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= steps; ++i) mouse(QEvent::MouseMove, from + (to - from) * i / steps, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
};


// The strongest red within a few pixels of p: the stroke is thin and anti-aliased.
bool redNear(const QImage& image, QPoint p) {
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx) {
            const QRgb c = image.pixel(p + QPoint(dx, dy));
            if (qRed(c) > 180 && qGreen(c) < 100 && qBlue(c) < 100 && qAlpha(c) > 200) return true;
        }
    return false;
}

}  // namespace

TEST(WhiteboardPage, StrokeOverTheCameraShowsInScreenshotAndSnapshot) {
    Scene scene;
    scene.waitUntilReady();
    ASSERT_EQ(qv::app::whiteboardWebView.data(), scene.whiteboard);

    // The document camera's picture in its window, and a stroke across the free part of the page.
    QImage frame(320, 240, QImage::Format_RGB32);
    frame.fill(QColor(20, 200, 60));
    qv::app::setDocCamSampleBuffer(std::make_shared<const QImage>(frame));
    scene.whiteboard->evaluateScript(showTunnelWindowCall(docCamWindowNumber, QString(), "Document Camera"));
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("marrowPanel.tunnelPictureWidth(-100)").toInt() == 320; }, 20000));

    scene.whiteboard->evaluateScript(allowAnnotationCall(true));
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("marrowPanel.isAnnotating()").toBool(); }, 20000));
    const QPoint from(600, 420), to(900, 520), middle = (from + to) / 2;
    scene.drag(from, to);
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("marrowPanel.strokeCount()").toInt() == 1; }, 20000));
    EXPECT_TRUE(scene.fakeCamera->pans.empty()) << "drawing must not pan the camera";

    // What the presenter sees: pattern, stroke and the document camera's window.
    QImage screen;
    ASSERT_TRUE(waitUntil([&] {
        screen = scene.container.grab().toImage();
        return redNear(screen, middle);
    }, 20000)) << "no stroke in the screenshot";
    qv::test::saveTestPicture(screen, "whiteboard-over-camera.png");
    for (const QPoint p : {QPoint(960, 620), QPoint(700, 100), QPoint(620, 600), QPoint(100, 600)})
        EXPECT_EQ(QColor(screen.pixel(p)), PatternWidget::colourAt(p)) << p.x() << "," << p.y();
    const QRgb docCam = screen.pixel(200, 300);  // inside the picture window opened at (40, 80)
    EXPECT_TRUE(qGreen(docCam) > 150 && qRed(docCam) < 80) << std::hex << docCam;

    // The whiteboard's own picture: the stroke on transparency, no camera pattern.
    const QImage snapshot = scene.snapshot();
    qv::test::saveTestPicture(snapshot, "whiteboard-snapshot.png");
    EXPECT_EQ(snapshot.size(), scene.whiteboard->size());
    EXPECT_TRUE(redNear(snapshot, middle));
    EXPECT_EQ(qAlpha(snapshot.pixel(960, 620)), 0);
    EXPECT_EQ(qAlpha(snapshot.pixel(700, 100)), 0);
    qv::app::setDocCamSampleBuffer(nullptr);

    // The eraser takes the stroke away where it passes, and undo brings it back.
    scene.evaluate("document.querySelector('[data-tool=eraser]').click()");
    scene.drag(middle + QPoint(-6, -40), middle + QPoint(6, 40), 8);
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("marrowPanel.strokeCount()").toInt() == 2; }, 20000));
    EXPECT_TRUE(waitUntil([&] { return !redNear(scene.snapshot(), middle); }, 20000));
    EXPECT_TRUE(redNear(scene.snapshot(), from + (to - from) / 10));
    scene.evaluate("document.getElementById('undo').click()");
    EXPECT_TRUE(waitUntil([&] { return redNear(scene.snapshot(), middle); }, 20000));

    // The drawing follows the window's size and keeps its strokes.
    scene.container.resize(920, 560);
    scene.camera->setGeometry(scene.container.rect());
    scene.whiteboard->setGeometry(scene.container.rect());
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("document.getElementById('board').width").toInt() == 920; }, 20000));
    QImage resized;
    EXPECT_TRUE(waitUntil([&] {
        resized = scene.snapshot();
        return resized.size() == QSize(920, 560) && redNear(resized, middle);
    }, 20000));

    // Cleared with the page's own button: the camera shows again where the ink was, on the screen
    // too (the camera below does not repaint by itself). The screen is shared with other test
    // programs, whose windows open at its top-left: this one moves out of their way.
    scene.container.move(1560, 820);
    auto onScreen = [&] {
        return QGuiApplication::primaryScreen()->grabWindow(scene.container.winId()).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    ASSERT_TRUE(waitUntil([&] { return redNear(onScreen(), middle); }, 20000));
    scene.evaluate("document.getElementById('clear').click()");
    auto inkGone = [&](const QImage& shown) {
        for (int dy = -6; dy <= 6; dy += 2)
            for (int dx = -40; dx <= 40; dx += 4) {
                const QPoint p = middle + QPoint(dx, dy);
                if (QColor(shown.pixel(p)) != PatternWidget::colourAt(p)) return false;
            }
        return true;
    };
    QImage cleared;
    EXPECT_TRUE(waitUntil([&] {
        cleared = onScreen();
        return inkGone(cleared);
    }, 20000)) << "ink left on the screen: " << QColor(cleared.pixel(middle)).name().toStdString();
}

TEST(WhiteboardPage, DragWithoutAnnotationPansTheCamera) {
    Scene scene;
    scene.waitUntilReady();
    // A picture window lies in the drag's path: offsets stay those of the window.
    scene.whiteboard->evaluateScript(showTunnelWindowCall(docCamWindowNumber, QString(), "Document Camera"));
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("marrowPanel.tunnelTitle(-100)").toString() == "Document Camera"; }, 20000));
    scene.fakeCamera->currentRotation = 90.0;

    scene.drag({800, 560}, {300, 260}, 10);
    ASSERT_TRUE(waitUntil([&] { return !scene.fakeCamera->pans.empty() && scene.fakeCamera->pans.back().ended; }, 20000));
    const auto& pans = scene.fakeCamera->pans;
    ASSERT_GE(pans.size(), 2u);
    for (std::size_t i = 0; i + 1 < pans.size(); ++i) {
        EXPECT_FALSE(pans[i].ended);
        EXPECT_EQ(pans[i].rotation, 90.0);
    }
    EXPECT_EQ(pans.back(), (qv::test::PanCall{true, -500, -300, 90.0}));
    EXPECT_EQ(pans[pans.size() - 2].dx, -500);  // the last move, over the picture window
    EXPECT_EQ(pans[pans.size() - 2].dy, -300);
    EXPECT_EQ(scene.evaluate("marrowPanel.strokeCount()").toInt(), 0);

    // A click without movement still ends a pan, at offset zero.
    const std::size_t before = pans.size();
    scene.mouse(QEvent::MouseButtonPress, {700, 500}, Qt::LeftButton, Qt::LeftButton);
    scene.mouse(QEvent::MouseButtonRelease, {700, 500}, Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(waitUntil([&] { return pans.size() > before; }, 20000));
    EXPECT_EQ(pans.size(), before + 1);
    EXPECT_EQ(pans.back(), (qv::test::PanCall{true, 0, 0, 90.0}));

    // Ctrl+wheel is a pinch: turned away from the user it zooms the camera in, never the page.
    QWidget* target = scene.input();
    QWheelEvent wheel(QPointF(500, 300), QPointF(target->mapToGlobal(QPoint(500, 300))), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &wheel);
    ASSERT_TRUE(waitUntil([&] { return !scene.fakeCamera->zooms.empty(); }, 20000));
    EXPECT_GT(scene.fakeCamera->zooms.back(), 1.0);
    qv::test::spin(200);
    EXPECT_DOUBLE_EQ(scene.whiteboard->wkWebView()->zoomFactor(), 1.0);
}

TEST(WhiteboardPage, EscapedNamesArriveUnchangedAndLocalPdfLinksOpenTheBrowser) {
    Scene scene;
    scene.waitUntilReady();
    ASSERT_GE(scene.loadingReports.size(), 2u);
    EXPECT_EQ(scene.loadingReports.front(),
              (QVariantMap{{"show", true}, {"message", QString()}}));

    const QString names[] = {
        QStringLiteral("Bob's \"notes\""), QStringLiteral("C:\\Users\\path\\"), QStringLiteral("two\nlines\r\n"),
        QStringLiteral("</script><script>window.hacked = 1</script>"), QStringLiteral("'); window.hacked = 1; ('"),
        QString::fromUtf8("Fen\xc3\xaatre \xf0\x9f\x98\x80 \xe2\x80\xa8 end"),
    };
    int windowNumber = 1000;
    for (const QString& name : names) {
        ++windowNumber;
        scene.whiteboard->evaluateScript(showTunnelWindowCall(windowNumber, QString(), name));
        const QString read = QStringLiteral("marrowPanel.tunnelTitle(%1)").arg(windowNumber);
        ASSERT_TRUE(waitUntil([&] { return !scene.evaluate(read).isNull(); }, 20000)) << name.toStdString();
        EXPECT_EQ(scene.evaluate(read).toString(), name);
    }
    EXPECT_EQ(scene.evaluate("typeof window.hacked").toString(), "undefined");

    // Updating again, or a second host, loads nothing and reports nothing.
    const std::size_t reports = scene.loadingReports.size();
    scene.whiteboard->updateView();
    WebView second(&scene.container);
    second.show();
    second.updateView();
    EXPECT_EQ(qv::app::whiteboardWebView.data(), scene.whiteboard);
    EXPECT_TRUE(second.wkWebView()->url().isEmpty());

    // Links: a local PDF goes to the browser panel, another site nowhere; the page stays.
    scene.whiteboard->evaluateScript("location.href = 'https://example.invalid/page'");
    scene.whiteboard->evaluateScript("location.href = 'file:///tmp/Lesson%20Plan.PDF'");
    ASSERT_TRUE(waitUntil([&] { return !scene.openBrowser.empty(); }, 20000));
    EXPECT_EQ(scene.openBrowser.front(),
              (QVariantMap{{"pdfMode", true}, {"pdfPath", QStringLiteral("/tmp/Lesson Plan.PDF")}}));
    qv::test::spin(500);
    EXPECT_EQ(scene.evaluate("typeof window.marrowPanel").toString(), "object");
    EXPECT_TRUE(scene.whiteboard->wkWebView()->url().path().endsWith("marrowpanel/index.html"));
    EXPECT_EQ(scene.loadingReports.size(), reports) << "a refused link is not a failed load";

    // The local server not answering: the overlay shows the error until a load succeeds.
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    const QUrl pageUrl = scene.whiteboard->wkWebView()->url();
    scene.whiteboard->evaluateScript(QStringLiteral("location.href = 'http://localhost:%1/'").arg(closedPort));
    ASSERT_TRUE(waitUntil([&] { return scene.loadingReports.size() > reports; }, 20000));
    EXPECT_EQ(scene.loadingReports.back().value("show"), QVariant(true));
    EXPECT_FALSE(scene.loadingReports.back().value("message").toString().isEmpty());
    scene.whiteboard->wkWebView()->load(pageUrl);
    ASSERT_TRUE(waitUntil([&] { return !scene.loadingReports.back().value("show").toBool(); }, 20000));
    EXPECT_EQ(scene.loadingReports.back().value("message"), QVariant(QString()));
}

namespace {

// Runs a script in a page and waits until it gives a value other than null.
QVariant valueOf(QWebEnginePage& page, const QString& script) {
    QVariant value;
    waitUntil(
        [&] {
            auto result = std::make_shared<std::optional<QVariant>>();
            page.runJavaScript(script, [result](const QVariant& v) { *result = v; });
            if (!waitUntil([&] { return result->has_value(); }, 5000)) return false;
            value = **result;
            return !value.isNull();
        },
        20000);
    return value;
}

// Another program's window 7, as the page sees it through the bridge.
struct OneWindow : TunnelWindowSystem {
    QImage picture;
    std::vector<std::pair<std::uint32_t, QRect>> controlled;
    std::vector<TunnelWindowEntry> listWindows() override { return {}; }
    std::optional<QImage> windowPicture(std::uint32_t id) override {
        if (id != 7) return std::nullopt;
        return picture;
    }
    void positionTunnel(std::uint32_t) override {}
    TunnelPlacement controlTunnel(std::uint32_t id, const QRect& r) override {
        controlled.emplace_back(id, r);
        return TunnelPlacement::Placed;
    }
};
}  // namespace

TEST(WhiteboardPage, ADoubleClickOnAMirroredWindowLaysTheRealWindowOverItsPicture) {
    Scene scene;
    auto windows = std::make_shared<OneWindow>();
    windows->picture = QImage(240, 120, QImage::Format_RGB32);
    windows->picture.fill(Qt::darkCyan);
    scene.whiteboard->webViewController()->setTunnelWindowSystem(windows);
    scene.waitUntilReady();

    scene.whiteboard->evaluateScript(showTunnelWindowCall(7, jpegDataAddress(windows->picture), QStringLiteral("Seven")));
    ASSERT_TRUE(waitUntil([&] { return scene.evaluate("marrowPanel.tunnelPictureWidth(7)").toInt() == 240; }, 20000));
    const QVariantList box = scene.evaluate(
        "(() => { const r = document.querySelector('.tunnel[data-window=\"7\"] img').getBoundingClientRect();"
        " return [Math.round(r.left), Math.round(r.top), Math.round(r.width), Math.round(r.height)]; })()").toList();
    ASSERT_EQ(box.size(), 4);
    scene.evaluate("document.querySelector('.tunnel[data-window=\"7\"] img')"
                   ".dispatchEvent(new MouseEvent('dblclick', {bubbles: true}))");
    ASSERT_TRUE(waitUntil([&] { return !windows->controlled.empty(); }, 20000));
    ASSERT_EQ(windows->controlled.size(), 1u);
    // On the screen, where the picture is.
    const QPoint topLeft = scene.whiteboard->wkWebView()->mapToGlobal(QPoint(box[0].toInt(), box[1].toInt()));
    const qreal ratio = scene.whiteboard->wkWebView()->devicePixelRatioF();
    EXPECT_EQ(windows->controlled[0].first, 7u);
    EXPECT_EQ(windows->controlled[0].second, QRect(qRound(topLeft.x() * ratio), qRound(topLeft.y() * ratio),
                                                   qRound(box[2].toInt() * ratio), qRound(box[3].toInt() * ratio)));
    EXPECT_GT(box[2].toInt(), 0);
}

// The whiteboard page comes from the program's own scheme and the local server answers it for a
// document handed to the program's viewer, and for no other file; a page of another origin cannot
// read a file through a sandboxed frame, whose Origin is "null" (a server that still trusted
// "null" would hand the file over, as the last frame shows).
TEST(WhiteboardPage, TheServerAnswersTheProgramsOriginAndNoSandboxedFrame) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string secretPath = folder.filePath(QStringLiteral("secret.txt")).toStdString();
    std::ofstream(secretPath) << "top secret";
    std::ofstream(folder.filePath(QStringLiteral("other.txt")).toStdString()) << "not handed";
    handPdfToViewer(QString::fromStdString(secretPath));
    std::string target = "/files/";
    for (char c : secretPath) target += c == '/' ? std::string("@@") : std::string(1, c);

    std::mutex originsMutex;
    std::vector<std::string> origins;
    auto makeServer = [&](std::vector<std::string> trusted) {
        auto server = std::make_unique<qv::server::HttpServer>();
        server->trustedOrigins = std::move(trusted);
        server->router.addRoute(std::nullopt, "/files/:path", qv::server::fileShareHandler("/", {}, wasHandedToPdfViewer));
        server->middleware.push_back([&](const qv::server::HttpRequest& request) -> std::optional<qv::server::HttpResponse> {
            std::lock_guard lock(originsMutex);
            origins.push_back(request.header("origin") ? *request.header("origin") : std::string("none"));
            return std::nullopt;
        });
        server->start(0, true);
        return server;
    };
    auto ours = makeServer({appOrigin().toStdString()});
    auto trustingNull = makeServer({appOrigin().toStdString(), "null"});
    const QString ourFile = QStringLiteral("http://127.0.0.1:%1").arg(ours->localPort()) + QString::fromStdString(target);
    const QString nullFile = QStringLiteral("http://127.0.0.1:%1").arg(trustingNull->localPort()) + QString::fromStdString(target);
    const QString otherFile = QString(ourFile).replace(QStringLiteral("secret.txt"), QStringLiteral("other.txt"));

    setPdfServerPort(ours->localPort());  // the program's server, as the pages' policy names it
    Scene scene;
    scene.waitUntilReady();
    EXPECT_EQ(scene.page()->url(), QUrl(QStringLiteral("quorvane://app/marrowpanel/index.html")));
    auto fetched = [&](const QString& url) {
        scene.evaluate(QStringLiteral("window.got = null; fetch('%1').then(r => r.text()).then(t => window.got = t, "
                                      "e => window.got = 'failed'); true").arg(url));
        return valueOf(*scene.page(), QStringLiteral("window.got")).toString().toStdString();
    };
    EXPECT_EQ(fetched(ourFile), "top secret");
    EXPECT_EQ(fetched(otherFile), "failed");
    {
        std::lock_guard lock(originsMutex);
        EXPECT_EQ(origins, (std::vector<std::string>{"quorvane://app", "quorvane://app"}));
    }
    // A server the program's pages do not know they may not reach at all.
    EXPECT_EQ(fetched(nullFile), "failed");
    {
        std::lock_guard lock(originsMutex);
        EXPECT_EQ(origins.size(), 2u) << "the page's request left it";
    }
    setPdfServerPort(9080);

    // Another origin: a page of a third local server, with sandboxed frames that try both files.
    qv::server::HttpServer elsewhere;
    const QString frame = QStringLiteral(
        "<script>for (const [which, url] of [['ours', '%1'], ['trustingNull', '%2']])"
        " fetch(url).then(r => r.text()).then(t => parent.postMessage([which, 'read: ' + t], '*'),"
        " e => parent.postMessage([which, 'failed'], '*'));</script>").arg(ourFile, nullFile);
    const std::string attack = QStringLiteral(
        "<!doctype html><script>window.results = {}; addEventListener('message', e => window.results[e.data[0]] = e.data[1]);"
        "</script><iframe sandbox=\"allow-scripts\" srcdoc=\"%1\"></iframe>").arg(frame).toStdString();
    elsewhere.GET["/"] = [attack](const qv::server::HttpRequest&) {
        return qv::server::HttpResponse::ok(qv::server::HttpResponseBody::html(attack));
    };
    elsewhere.start(0, true);
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    page.load(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(elsewhere.localPort())));
    const QString both = QStringLiteral("(window.results && window.results.ours && window.results.trustingNull) ? "
                                        "JSON.stringify(window.results) : null");
    EXPECT_EQ(valueOf(page, both).toString(), QStringLiteral("{\"ours\":\"failed\",\"trustingNull\":\"read: top secret\"}"));
}

TEST(WhiteboardPage, ALoadThatNeverEndsIsStoppedAndReported) {
    // A page whose picture comes from a server that takes the connection and never answers: the
    // program's server, as far as the page's policy knows.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    setPdfServerPort(silent.serverPort());
    QTemporaryDir resources;
    ASSERT_TRUE(QDir().mkpath(resources.filePath("marrowpanel")));
    QFile page(resources.filePath("marrowpanel/index.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(QStringLiteral("<!DOCTYPE html><html><body><img src=\"http://127.0.0.1:%1/never.png\"></body></html>")
                   .arg(silent.serverPort())
                   .toUtf8());
    page.close();
    const QByteArray before = qgetenv("QV_RESOURCES_DIR");
    qputenv("QV_RESOURCES_DIR", resources.path().toUtf8());
    qv::app::whiteboardWebView = nullptr;  // this view loads the page anew

    QObject observer;
    std::vector<QVariantMap> reports;
    qv::app::NotificationCenter::defaultCenter().addObserver(
        &observer, qv::app::notification::showLoadingMarrowPanel,
        [&](const qv::app::Notification& n) { reports.push_back(n.userInfo); });
    QWidget container;
    container.resize(400, 300);
    auto* board = new WebView(&container);
    board->setGeometry(container.rect());
    board->setPageLoadTimeout(1500);
    QElapsedTimer clock;
    clock.start();
    container.show();
    const bool reported = waitUntil([&] {
        return reports.size() >= 2 && reports.back().value("show").toBool() &&
               reports.back().value("message").toString().contains("did not finish loading");
    }, 30000);
    qputenv("QV_RESOURCES_DIR", before);
    setPdfServerPort(9080);
    ASSERT_TRUE(reported) << "the stuck load was never reported";
    EXPECT_GE(clock.elapsed(), 1400) << "reported before the time was up";
    EXPECT_EQ(reports.front().value("show"), QVariant(true));
    // Stopped, and reported once.
    qv::test::spin(1000);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_FALSE(board->wkWebView()->page()->isLoading());
}
