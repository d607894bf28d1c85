// The whiteboard's native side without a web engine: navigation decisions, the script bridge's
// message dispatch, the script texts it sends, and the document camera's frame hand-over.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QObject>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>
#include <map>
#include <thread>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/Resources.h"
#include "webpanels/AppScheme.h"
#include "webpanels/BrowserBoardView.h"
#include "webpanels/CameraGestureTarget.h"
#include "webpanels/FakeCamera.h"
#include "webpanels/NavigationPolicy.h"
#include "webpanels/PickedTunnelWindows.h"
#include "webpanels/Resources.h"
#include "webpanels/ScriptCalls.h"
#include "webpanels/WebViewController.h"

using namespace qv::webpanels;
using qv::test::FakeCamera;
using qv::test::PanCall;

namespace {

// The body as the web channel delivers a script object: parsed JSON turned into variants.
QVariant body(const char* json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray("[") + json + "]", &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return document.array().at(0).toVariant();
}

// Records the notifications of the bus while it lives.
struct Posted {
    QObject owner;
    std::vector<qv::app::Notification> seen;
    explicit Posted(std::initializer_list<const char*> names) {
        for (const char* name : names)
            qv::app::NotificationCenter::defaultCenter().addObserver(
                &owner, QString::fromLatin1(name), [this](const qv::app::Notification& n) { seen.push_back(n); });
    }
};

struct Bridge {
    std::shared_ptr<FakeCamera> camera = std::make_shared<FakeCamera>();
    std::vector<QString> scripts;
    WebViewController controller;
    Bridge() {
        controller.setCameraGestureTarget(camera);
        controller.setScriptEvaluator([this](const QString& s) { scripts.push_back(s); });
    }
};

QImage solid(QColor colour, QSize size = {64, 48}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QImage decodeDataAddress(const QString& dataAddress) {
    const QString prefix = QStringLiteral("data:image/jpeg;base64,");
    if (!dataAddress.startsWith(prefix)) return {};
    return QImage::fromData(QByteArray::fromBase64(dataAddress.mid(prefix.size()).toLatin1()), "JPEG");
}

// The text argument of a reply "renderTunnelWindow(n, '...')".
QString pictureArgument(const QString& script) {
    static const QRegularExpression call(QStringLiteral(R"(^renderTunnelWindow\(-?\d+, '([^']*)'\)$)"));
    const auto match = call.match(script);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("<not a reply>");
}

}  // namespace

// ---- Navigation ----------------------------------------------------------------------------------

TEST(NavigationPolicy, DecidesFromSchemeAndHostNotFromSubstrings) {
    const QString page = QStringLiteral("/opt/quorvane/resources/marrowpanel/index.html");
    struct Case {
        const char* url;
        NavigationDecision expected;
    };
    const Case cases[] = {
        {"http://localhost:9080/files/@@tmp@@a.pdf", NavigationDecision::Allow},
        {"http://LOCALHOST/", NavigationDecision::Allow},
        {"https://quorvane.org/wendle/mac", NavigationDecision::Allow},
        {"https://board.quorvane.org/teacher?os=mac", NavigationDecision::Allow},
        {"file:///opt/quorvane/resources/marrowpanel/index.html", NavigationDecision::Allow},
        {"file:///opt/quorvane/resources/marrowpanel/index.html?mode=1#top", NavigationDecision::Allow},
        // A text search would have let these through.
        {"https://evil.example/?next=localhost", NavigationDecision::Cancel},
        {"https://localhost.evil.example/", NavigationDecision::Cancel},
        {"https://evilquorvane.org/", NavigationDecision::Cancel},
        {"https://quorvane.org.evil.example/", NavigationDecision::Cancel},
        {"https://evil.example/marrowpanel/index.html", NavigationDecision::Cancel},
        {"https://evil.example/file:///tmp/a.pdf", NavigationDecision::Cancel},
        {"data:text/html,localhost", NavigationDecision::Cancel},
        {"javascript:location='http://localhost/'", NavigationDecision::Cancel},
        {"ftp://localhost/", NavigationDecision::Cancel},
        {"", NavigationDecision::Cancel},
        // Local files other than the page are handed on, wherever "localhost" appears in them.
        {"file:///home/localhost/notes.pdf", NavigationDecision::OpenLocalFile},
        {"file:///tmp/marrowpanel/index.html", NavigationDecision::OpenLocalFile},
        {"file:///tmp/Report%20One.PDF", NavigationDecision::OpenLocalFile},
        {"file://localhost/tmp/a.pdf", NavigationDecision::OpenLocalFile},
        {"file://fileserver/share/a.pdf", NavigationDecision::Cancel},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decideNavigation(QUrl(QString::fromUtf8(c.url)), page), c.expected) << c.url;
}

// The program's scheme names files of the resources folder and nothing outside it.
TEST(AppScheme, AddressesStayInsideTheResourcesFolder) {
    const QString page = whiteboardPagePath();
    ASSERT_FALSE(QFileInfo(page).canonicalFilePath().isEmpty()) << "resources are found";
    EXPECT_EQ(whiteboardPageUrl().toString(), QStringLiteral("quorvane://app/marrowpanel/index.html"));
    EXPECT_EQ(appOrigin(), QStringLiteral("quorvane://app"));
    EXPECT_EQ(appUrlFilePath(whiteboardPageUrl()), QFileInfo(page).canonicalFilePath());
    EXPECT_EQ(appUrlFilePath(QUrl(QStringLiteral("quorvane://app/marrowpanel/whiteboard.js"))),
              QFileInfo(qv::app::resourcePath(QStringLiteral("marrowpanel/whiteboard.js"))).canonicalFilePath());
    for (const char* outside : {"quorvane://app/../../../../etc/passwd", "quorvane://app/%2e%2e/%2e%2e/etc/passwd",
                                "quorvane://app/marrowpanel/%2E%2E/%2E%2E/%2E%2E/etc/passwd", "quorvane://other/marrowpanel/index.html",
                                "file:///etc/passwd", "quorvane://app/missing.html"})
        EXPECT_EQ(appUrlFilePath(QUrl(QString::fromUtf8(outside))), QString()) << outside;

    EXPECT_EQ(decideNavigation(whiteboardPageUrl(), page), NavigationDecision::Allow);
    QUrl withQuery = whiteboardPageUrl();
    withQuery.setQuery(QStringLiteral("mode=1"));
    EXPECT_EQ(decideNavigation(withQuery, page), NavigationDecision::Allow);
    EXPECT_EQ(decideNavigation(QUrl(QStringLiteral("quorvane://app/marrowpanel/whiteboard.js")), page), NavigationDecision::Cancel);
    EXPECT_EQ(decideNavigation(QUrl(QStringLiteral("quorvane://app/../etc/passwd")), page), NavigationDecision::Cancel);

    const std::map<QString, QByteArray> types{{"a.html", "text/html"}, {"b.JS", "text/javascript"},   {"c.mjs", "text/javascript"},
                                              {"d.css", "text/css"},   {"e.pdf", "application/pdf"}, {"f.svg", "image/svg+xml"},
                                              {"g.wasm", "application/wasm"}};
    for (const auto& [name, type] : types) EXPECT_EQ(appSchemeContentType(name), type) << name.toStdString();
}

TEST(NavigationPolicy, LocalPdfOpensInTheBrowserAndOtherFilesAreIgnored) {
    Bridge bridge;
    Posted posted{qv::app::notification::OpenBrowser};

    EXPECT_FALSE(bridge.controller.decidePolicyForNavigation(QUrl(QStringLiteral("file:///tmp/notes.txt"))));
    EXPECT_TRUE(posted.seen.empty());

    testing::internal::CaptureStdout();
    EXPECT_FALSE(bridge.controller.decidePolicyForNavigation(QUrl(QStringLiteral("file:///tmp/Report%20One.PDF"))));
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(posted.seen.size(), 1u);
    EXPECT_EQ(posted.seen[0].userInfo.value("pdfMode"), QVariant(true));
    EXPECT_EQ(posted.seen[0].userInfo.value("pdfPath"), QVariant(QStringLiteral("/tmp/Report One.PDF")));
    EXPECT_EQ(printed, "\"Open File: file:///tmp/Report%20One.PDF\"\n\"It's a PDF! /tmp/Report One.PDF\"\n");

    EXPECT_FALSE(bridge.controller.decidePolicyForNavigation(QUrl(QStringLiteral("https://evil.example/a.pdf"))));
    EXPECT_EQ(posted.seen.size(), 1u);
    // A NUL in the name ("%00", in the middle or before the extension) names no file there can
    // be: nothing opens, on the whiteboard and on the board over the browser alike.
    BrowserBoardViewController board;
    for (const char* address :
         {"file:///tmp/a%00.pdf", "file:///tmp/x%00/b.pdf", "file:///tmp/c.pdf%00.pdf"}) {
        EXPECT_FALSE(bridge.controller.decidePolicyForNavigation(QUrl(QString::fromLatin1(address))))
            << address;
        EXPECT_FALSE(board.decidePolicyForNavigation(QUrl(QString::fromLatin1(address)))) << address;
    }
    EXPECT_EQ(posted.seen.size(), 1u);
}

TEST(LoadingReports, ShowAndHideTheLoadingOverlay) {
    Bridge bridge;
    Posted posted{qv::app::notification::showLoadingMarrowPanel};
    testing::internal::CaptureStdout();
    bridge.controller.didFailNavigation(QStringLiteral("File not found"), QStringLiteral("Error Code=-6"), true);
    bridge.controller.didFinishNavigation();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\"didFail\"\nError Code=-6\n\"didFinish1\"\n");
    ASSERT_EQ(posted.seen.size(), 2u);
    EXPECT_EQ(posted.seen[0].userInfo.value("show"), QVariant(true));
    EXPECT_EQ(posted.seen[0].userInfo.value("message"), QVariant(QStringLiteral("File not found")));
    EXPECT_EQ(posted.seen[1].userInfo.value("show"), QVariant(false));
    EXPECT_EQ(posted.seen[1].userInfo.value("message"), QVariant(QString()));
}

// ---- Message dispatch ----------------------------------------------------------------------------

TEST(ScriptBridge, DispatchesGesturesToTheCamera) {
    struct Case {
        const char* name;
        std::vector<const char*> messages;
        std::vector<PanCall> pans;
        std::vector<double> zooms;
    };
    const double rotation = 90.0;
    const Case cases[] = {
        {"pan while moving", {R"({"type":"pan","x":12,"y":-7,"end":0})"}, {{false, 12, -7, rotation}}, {}},
        {"pan released", {R"({"type":"pan","x":3,"y":4,"end":1})"}, {{true, 3, 4, rotation}}, {}},
        {"end 2 is a move", {R"({"type":"pan","x":3,"y":4,"end":2})"}, {{false, 3, 4, rotation}}, {}},
        {"end -1 is a move", {R"({"type":"pan","x":0,"y":0,"end":-1})"}, {{false, 0, 0, rotation}}, {}},
        {"end 1.0 is whole", {R"({"type":"pan","x":5.0,"y":6,"end":1.0})"}, {{true, 5, 6, rotation}}, {}},
        {"fractional offset", {R"({"type":"pan","x":1.5,"y":6,"end":0})"}, {}, {}},
        {"fractional end", {R"({"type":"pan","x":1,"y":6,"end":0.5})"}, {}, {}},
        {"missing end", {R"({"type":"pan","x":1,"y":6})"}, {}, {}},
        {"offset as text", {R"({"type":"pan","x":"1","y":6,"end":0})"}, {}, {}},
        {"offset as boolean", {R"({"type":"pan","x":true,"y":6,"end":0})"}, {}, {}},
        {"pinch before any start", {R"({"type":"gesturechange","scale":2.0})"}, {}, {2.0}},
        {"pinch after start 1", {R"({"type":"gesturestart","scale":1.0})", R"({"type":"gesturechange","scale":2.0})"}, {}, {2.0}},
        {"pinch times start scale",
         {R"({"type":"gesturestart","scale":1.5})", R"({"type":"gesturechange","scale":2.0})",
          R"({"type":"gesturechange","scale":0.5})"},
         {},
         {3.0, 0.75}},
        {"no lower limit", {R"({"type":"gesturechange","scale":0.1})"}, {}, {static_cast<double>(0.1f)}},
        {"start alone zooms nothing", {R"({"type":"gesturestart","scale":3})"}, {}, {}},
        {"scale as text", {R"({"type":"gesturechange","scale":"2"})"}, {}, {}},
        {"wheel", {R"({"type":"wheel","delta":-120})"}, {}, {}},
        {"tunnelKeydown", {R"({"type":"tunnelKeydown","windowNumber":5})"}, {}, {}},
        {"unknown type", {R"({"type":"zoom","scale":2})"}, {}, {}},
        {"type case matters", {R"({"type":"Pan","x":1,"y":1,"end":0})"}, {}, {}},
        {"no type", {R"({"x":1,"y":1,"end":0})"}, {}, {}},
        {"type not a text", {R"({"type":1,"x":1,"y":1,"end":0})"}, {}, {}},
        {"body is a text", {R"("pan")"}, {}, {}},
        {"body is a list", {R"([{"type":"pan","x":1,"y":1,"end":0}])"}, {}, {}},
        {"body is a number", {"7"}, {}, {}},
        {"body is null", {"null"}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bridge bridge;
        bridge.camera->currentRotation = rotation;
        Posted posted{qv::app::notification::OpenDocCamera};
        for (const char* message : c.messages) bridge.controller.handleMessage(body(message));
        EXPECT_EQ(bridge.camera->pans, c.pans);
        EXPECT_EQ(bridge.camera->zooms, c.zooms);
        EXPECT_TRUE(bridge.scripts.empty());
        EXPECT_TRUE(posted.seen.empty());
    }
}

TEST(ScriptBridge, WithoutCameraGesturesDoNothingButTheStartScaleIsKept) {
    Bridge bridge;
    bridge.camera->present = false;
    bridge.controller.handleMessage(body(R"({"type":"pan","x":1,"y":2,"end":0})"));
    bridge.controller.handleMessage(body(R"({"type":"gesturestart","scale":2.5})"));
    bridge.controller.handleMessage(body(R"({"type":"gesturechange","scale":2})"));
    EXPECT_TRUE(bridge.camera->pans.empty());
    EXPECT_TRUE(bridge.camera->zooms.empty());
    EXPECT_FLOAT_EQ(bridge.controller.gestureScale(), 2.5f);

    WebViewController unconnected;  // no target at all
    unconnected.handleMessage(body(R"({"type":"pan","x":1,"y":2,"end":1})"));
    unconnected.handleMessage(body(R"({"type":"gesturechange","scale":2})"));
}

TEST(ScriptBridge, CloseTunnelClosesOnlyTheDocumentCamera) {
    const struct {
        const char* message;
        bool closes;
    } cases[] = {
        {R"({"type":"closeTunnel","windowNumber":-100})", true},
        {R"({"type":"closeTunnel","windowNumber":-100.0})", true},
        {R"({"type":"closeTunnel","windowNumber":42})", false},
        {R"({"type":"closeTunnel","windowNumber":"-100"})", false},
        {R"({"type":"closeTunnel"})", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Bridge bridge;
        Posted posted{qv::app::notification::OpenDocCamera};
        bridge.controller.handleMessage(body(c.message));
        ASSERT_EQ(posted.seen.size(), c.closes ? 1u : 0u);
        if (c.closes) {
            EXPECT_EQ(posted.seen[0].userInfo, (QVariantMap{{"type", QStringLiteral("close")}}));
        }
        EXPECT_TRUE(bridge.camera->pans.empty());
    }
}

// ---- Picture replies -----------------------------------------------------------------------------

namespace {
struct FakeWindows : TunnelWindowSystem {
    std::map<std::uint32_t, QImage> pictures;
    std::vector<std::uint32_t> positioned;
    std::vector<std::pair<std::uint32_t, QRect>> controlled;
    std::vector<TunnelWindowEntry> listWindows() override { return {}; }
    std::optional<QImage> windowPicture(std::uint32_t id) override {
        auto it = pictures.find(id);
        if (it == pictures.end()) return std::nullopt;
        return it->second;
    }
    void positionTunnel(std::uint32_t id) override { positioned.push_back(id); }
    TunnelPlacement controlTunnel(std::uint32_t id, const QRect& r) override {
        controlled.emplace_back(id, r);
        return pictures.count(id) ? TunnelPlacement::Placed : TunnelPlacement::WindowGone;
    }
};
}  // namespace

TEST(ScriptBridge, RenderTunnelRepliesWithTheLatestPicture) {
    Bridge bridge;
    auto windows = std::make_shared<FakeWindows>();
    windows->pictures[7] = solid(Qt::blue);
    bridge.controller.setTunnelWindowSystem(windows);

    qv::app::setDocCamSampleBuffer(nullptr);
    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":-100})"));
    ASSERT_EQ(bridge.scripts.size(), 1u);
    EXPECT_EQ(bridge.scripts[0], QStringLiteral("renderTunnelWindow(-100, '')"));

    qv::app::setDocCamSampleBuffer(std::make_shared<const QImage>(solid(Qt::green, {320, 240})));
    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":-100})"));
    ASSERT_EQ(bridge.scripts.size(), 2u);
    const QImage frame = decodeDataAddress(pictureArgument(bridge.scripts[1]));
    ASSERT_FALSE(frame.isNull()) << bridge.scripts[1].left(80).toStdString();
    EXPECT_EQ(frame.size(), QSize(320, 240));
    EXPECT_GT(qGreen(frame.pixel(160, 120)), 200);

    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":7})"));
    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":8})"));  // no picture
    ASSERT_EQ(bridge.scripts.size(), 4u);
    EXPECT_GT(qBlue(decodeDataAddress(pictureArgument(bridge.scripts[2])).pixel(10, 10)), 200);
    EXPECT_EQ(bridge.scripts[3], QStringLiteral("renderTunnelWindow(8, '')"));

    // No reply for numbers that name no window.
    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":0})"));
    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":-5})"));
    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":2.5})"));
    EXPECT_EQ(bridge.scripts.size(), 4u);

    // Moving windows: never the document camera; rectangles in whole points.
    bridge.controller.handleMessage(body(R"({"type":"positionTunnel","windowNumber":-100})"));
    bridge.controller.handleMessage(body(R"({"type":"positionTunnel","windowNumber":7})"));
    bridge.controller.handleMessage(
        body(R"({"type":"controlTunnel","windowNumber":-100,"left":1,"top":2,"width":3,"height":4})"));
    bridge.controller.handleMessage(
        body(R"({"type":"controlTunnel","windowNumber":7,"left":10.7,"top":20,"width":300.2,"height":150})"));
    bridge.controller.handleMessage(body(R"({"type":"controlTunnel","windowNumber":7,"left":"10","top":20,"width":3,"height":1})"));
    EXPECT_EQ(windows->positioned, std::vector<std::uint32_t>{7});
    ASSERT_EQ(windows->controlled.size(), 1u);
    EXPECT_EQ(windows->controlled[0], std::make_pair(std::uint32_t{7}, QRect(10, 20, 300, 150)));
    qv::app::setDocCamSampleBuffer(nullptr);
}

TEST(ScriptBridge, DocumentCameraFrameIsReadWholeWhileTheCaptureThreadReplacesIt) {
    Bridge bridge;
    const QColor colours[] = {Qt::red, Qt::blue};
    qv::app::setDocCamSampleBuffer(std::make_shared<const QImage>(solid(colours[0])));
    std::atomic<bool> stop{false};
    std::thread capture([&] {
        // Each frame is new and complete before it is published, as the capture thread does.
        for (int i = 0; !stop.load(); ++i) qv::app::setDocCamSampleBuffer(std::make_shared<const QImage>(solid(colours[i % 2])));
    });
    for (int i = 0; i < 200; ++i) bridge.controller.renderTunnel(docCamWindowNumber);
    stop = true;
    capture.join();
    qv::app::setDocCamSampleBuffer(nullptr);

    ASSERT_EQ(bridge.scripts.size(), 200u);
    for (const QString& script : bridge.scripts) {
        const QImage frame = decodeDataAddress(pictureArgument(script));
        ASSERT_FALSE(frame.isNull());
        // One frame, one colour: the top-left and bottom-right corners agree.
        const QRgb first = frame.pixel(2, 2);
        const QRgb last = frame.pixel(frame.width() - 3, frame.height() - 3);
        EXPECT_LT(std::abs(qRed(first) - qRed(last)) + std::abs(qBlue(first) - qBlue(last)), 40);
    }
}

// ---- Script texts --------------------------------------------------------------------------------

TEST(ScriptCalls, PlainArgumentsKeepThePagesCallFormat) {
    EXPECT_EQ(showTunnelWindowCall(-100, QString(), QStringLiteral("Document Camera")),
              QStringLiteral("showTunnelWindow(-100, '', 'Document Camera')"));
    EXPECT_EQ(showTunnelWindowCall(4711, QStringLiteral("data:image/jpeg;base64,/9j/4A+="), QStringLiteral("Notes - Editor")),
              QStringLiteral("showTunnelWindow(4711, 'data:image/jpeg;base64,/9j/4A+=', 'Notes - Editor')"));
    EXPECT_EQ(renderTunnelWindowCall(-100, QString()), QStringLiteral("renderTunnelWindow(-100, '')"));
    EXPECT_EQ(allowAnnotationCall(true), QStringLiteral("allowAnnotation(true)"));
    EXPECT_EQ(allowAnnotationCall(false), QStringLiteral("allowAnnotation(false)"));
}

TEST(ScriptCalls, EveryTextIsAClosedAsciiLiteral) {
    const QString names[] = {
        QStringLiteral("it's"), QStringLiteral("a\\b"), QStringLiteral("line\nbreak\r\u2028"),
        QStringLiteral("</script><script>alert(1)</script>"), QStringLiteral("\"quoted\" & <b>"),
        QString::fromUtf8("Fen\xc3\xaatre \xf0\x9f\x98\x80"), QStringLiteral("%1 %2"),
    };
    for (const QString& name : names) {
        const QString literal = javaScriptStringLiteral(name);
        SCOPED_TRACE(literal.toStdString());
        ASSERT_GE(literal.size(), 2);
        EXPECT_TRUE(literal.startsWith('\'') && literal.endsWith('\''));
        const QString inner = literal.mid(1, literal.size() - 2);
        for (const QChar c : inner) {
            EXPECT_TRUE(c.unicode() >= 0x20 && c.unicode() < 0x7f);
            EXPECT_NE(c, QLatin1Char('\''));
            EXPECT_NE(c, QLatin1Char('<'));
        }
        EXPECT_TRUE(showTunnelWindowCall(1, QString(), name).endsWith(literal + ')'));
    }
}

// ---- Adapter to the camera controller ------------------------------------------------------------

namespace {
struct ControllerWithField {
    double rotation = 180.0;
    std::vector<PanCall> pans;
    std::vector<double> zooms;
    void panPreview(bool ended, double dx, double dy, double r) { pans.push_back({ended, dx, dy, r}); }
    void setZoom(double f) { zooms.push_back(f); }
};
struct ControllerWithGetter : ControllerWithField {
    double rotation() const { return 270.0; }
};
}  // namespace

TEST(CameraGestureAdapter, ReachesTheControllerPublishedAtTheTimeOfTheGesture) {
    ControllerWithField controller;
    ControllerWithField* published = nullptr;
    Bridge bridge;
    bridge.controller.setCameraGestureTarget(
        makeCameraGestureTarget<ControllerWithField>([&published] { return published; }));

    bridge.controller.handleMessage(body(R"({"type":"pan","x":1,"y":2,"end":0})"));
    EXPECT_TRUE(controller.pans.empty());
    published = &controller;
    bridge.controller.handleMessage(body(R"({"type":"pan","x":1,"y":2,"end":0})"));
    bridge.controller.handleMessage(body(R"({"type":"gesturechange","scale":2})"));
    EXPECT_EQ(controller.pans, (std::vector<PanCall>{{false, 1, 2, 180.0}}));
    EXPECT_EQ(controller.zooms, std::vector<double>{2.0});

    ControllerWithGetter withGetter;
    auto adapter = makeCameraGestureTarget<ControllerWithGetter>([&withGetter] { return &withGetter; });
    EXPECT_EQ(adapter->rotation(), 270.0);
}

TEST(ScriptBridge, ThePageReachesOnlyWindowsThePresenterPicked) {
    Bridge bridge;
    auto windows = std::make_shared<FakeWindows>();
    windows->pictures[7] = solid(Qt::blue);
    windows->pictures[9] = solid(Qt::red);
    auto picked = std::make_shared<PickedTunnelWindows>(windows);
    bridge.controller.setTunnelWindowSystem(picked);
    // The whiteboard's place on the screen.
    bridge.controller.setViewToScreen([](const QRect& r) { return r.translated(1000, 500); });
    picked->pick(7);

    for (const char* message : {R"({"type":"renderTunnel","windowNumber":9})", R"({"type":"positionTunnel","windowNumber":9})",
                                R"({"type":"controlTunnel","windowNumber":9,"left":1,"top":2,"width":3,"height":4})"})
        bridge.controller.handleMessage(body(message));
    ASSERT_EQ(bridge.scripts.size(), 1u);
    EXPECT_EQ(bridge.scripts[0], QStringLiteral("renderTunnelWindow(9, '')"));
    EXPECT_TRUE(windows->positioned.empty());
    EXPECT_TRUE(windows->controlled.empty());

    bridge.controller.handleMessage(body(R"({"type":"renderTunnel","windowNumber":7})"));
    bridge.controller.handleMessage(body(R"({"type":"positionTunnel","windowNumber":7})"));
    bridge.controller.handleMessage(body(R"({"type":"controlTunnel","windowNumber":7,"left":1,"top":2,"width":3,"height":4})"));
    ASSERT_EQ(bridge.scripts.size(), 2u);
    EXPECT_GT(qBlue(decodeDataAddress(pictureArgument(bridge.scripts[1])).pixel(10, 10)), 200);
    EXPECT_EQ(windows->positioned, std::vector<std::uint32_t>{7});
    ASSERT_EQ(windows->controlled.size(), 1u);
    EXPECT_EQ(windows->controlled[0].second, QRect(1001, 502, 3, 4));
}

TEST(ScriptBridge, ControlTunnelForAWindowThatIsGoneAlertsOncePerMessage) {
    Bridge bridge;
    auto windows = std::make_shared<FakeWindows>();  // window 5 has no picture: it is gone
    auto picked = std::make_shared<PickedTunnelWindows>(windows);
    picked->pick(5);
    bridge.controller.setTunnelWindowSystem(picked);
    QStringList alerts;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            alerts << box->informativeText() + QLatin1Char('|') + box->buttons().first()->text();
            box->buttons().first()->click();
        }
    });
    watcher.start(30);
    const char* control = R"({"type":"controlTunnel","windowNumber":5,"left":1,"top":2,"width":3,"height":4})";
    bridge.controller.handleMessage(body(control));
    bridge.controller.handleMessage(body(control));
    // A window that was never picked: nothing at all, no alert.
    bridge.controller.handleMessage(body(R"({"type":"controlTunnel","windowNumber":6,"left":1,"top":2,"width":3,"height":4})"));
    watcher.stop();
    const QString expected =
        QStringLiteral("Original Window was minimized or closed, please choose another window in Plenwick.|OK");
    EXPECT_EQ(alerts, (QStringList{expected, expected}));
}
