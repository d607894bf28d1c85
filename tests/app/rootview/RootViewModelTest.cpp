#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include "app/rootview/RootViewModel.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"

using namespace qv::app;
namespace nt = qv::app::notification;

namespace {
struct Root {
    RootViewModel model;
    std::vector<QUrl> opened;
    std::vector<QString> pdfs;
    bool browserOnScreen = false;
    Root() {
        model.openExternally = [this](const QUrl& u) { opened.push_back(u); };
        model.openPdfInShownBrowser = [this](const QString& p) {
            if (!browserOnScreen) return false;
            pdfs.push_back(p);
            return true;
        };
        model.windowSize = [] { return QSizeF(1400, 900); };
        model.subscribe();
    }
};
}  // namespace

TEST(RootViewHandlers, PlainTogglesAndTheDocumentCamera) {
    Root r;
    struct Case {
        const char* name;
        QVariantMap info;
        bool before, after;
    } docCases[] = {
        {"close while closed", {{"type", "close"}}, false, false},
        {"close while open", {{"type", "close"}}, true, false},
        {"no userInfo opens", {}, false, true},
        {"no userInfo closes", {}, true, false},
        {"another text toggles", {{"type", "open"}}, false, true},
        {"not a text toggles", {{"type", 5}}, true, false},
    };
    for (const auto& c : docCases) {
        r.model.showDocCamera = c.before;
        post(nt::OpenDocCamera, c.info);
        EXPECT_EQ(r.model.showDocCamera, c.after) << c.name;
    }
    struct Toggle {
        const char* name;
        bool RootViewModel::*flag;
    } toggles[] = {
        {nt::OpenPIPCamera, &RootViewModel::showPipCamera},
        {nt::OpenTunnelList, &RootViewModel::showTunnelList},
        {nt::OpenGifGenerator, &RootViewModel::showGifGenerator},
        {nt::OpenKestrixConfig, &RootViewModel::showKestrixConfig},
    };
    for (const auto& t : toggles) {
        post(t.name, {{"anything", true}});
        EXPECT_TRUE(r.model.*t.flag) << t.name;
        post(t.name);
        EXPECT_FALSE(r.model.*t.flag) << t.name;
    }
}

TEST(RootViewHandlers, LoadingMarrowPanelNeedsBothEntries) {
    struct Case {
        const char* name;
        QVariantMap info;
        bool changes;
        bool show;
        QString message;
    } cases[] = {
        {"show without message", {{"show", true}}, false, false, {}},
        {"message without show", {{"message", "x"}}, false, false, {}},
        {"show not a Bool", {{"show", "true"}, {"message", "x"}}, false, false, {}},
        {"empty message", {{"show", true}, {"message", ""}}, true, true, ""},
        {"error", {{"show", false}, {"message", "load failed"}}, true, false, "load failed"},
    };
    for (const auto& c : cases) {
        Root r;
        r.model.loadingMarrowPanelError = "before";
        post(nt::showLoadingMarrowPanel, c.info);
        EXPECT_EQ(r.model.loadingMarrowPanel, c.show) << c.name;
        EXPECT_EQ(r.model.loadingMarrowPanelError, c.changes ? c.message : QString("before")) << c.name;
    }
}

TEST(RootViewHandlers, PdfQueryOfPaths) {
    // The browser's own rule: the path as one percent-encoded segment ("/" written "@@"), the whole
    // address then encoded as the query value "file".
    struct Case {
        const char* path;
        const char* query;
    } cases[] = {
        {"/Users/a b/c.pdf", "file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2F%40%40Users%40%40a%2520b%40%40c.pdf"},
        {"/Users/a/My File.pdf", "file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2F%40%40Users%40%40a%40%40My%2520File.pdf"},
        {"/tmp/already@@and%20.pdf", "file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2F%40%40tmp%40%40already%40%40and%252520.pdf"},
        {"/home/ü/Übung  zwei.pdf", "file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2F%40%40home%40%40%25C3%25BC%40%40%25C3%259Cbung%2520%2520zwei.pdf"},
        {"relative.pdf", "file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2Frelative.pdf"},
    };
    for (const auto& c : cases) EXPECT_EQ(pdfViewerQueryFor(QString::fromUtf8(c.path)), QString::fromUtf8(c.query)) << c.path;
}

TEST(RootViewHandlers, OpenBrowserClosesAndReopensLater) {
    struct Case {
        const char* name;
        QVariantMap info;
        bool shownBefore;
        bool ignored;
        bool pdfMode, lessonsMode;
        QString query;  // pdfViewerQuery afterwards
    } cases[] = {
        {"without pdfMode nothing changes", {{"lessonsMode", true}}, true, true, false, false, "kept"},
        {"web page while shown", {{"pdfMode", false}}, true, false, false, false, "kept"},
        {"lessons", {{"pdfMode", false}, {"lessonsMode", true}}, false, false, false, true, "kept"},
        {"pdf without a path keeps the query", {{"pdfMode", true}}, false, false, true, false, "kept"},
        {"pdf with a path", {{"pdfMode", true}, {"pdfPath", "/Users/a b/c.pdf"}}, true, false, true, false,
         "file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2F%40%40Users%40%40a%2520b%40%40c.pdf"},
    };
    for (const auto& c : cases) {
        Root r;
        globalPdfMode = !c.pdfMode;
        globalLessonsMode = !c.lessonsMode;
        pdfViewerQuery = "kept";
        r.model.showBrowser = c.shownBefore;
        r.browserOnScreen = c.shownBefore;
        std::vector<bool> shownSeen;
        QObject::connect(&r.model, &RootViewModel::changed, [&] {
            shownSeen.push_back(r.model.showBrowser);
            r.browserOnScreen = r.model.showBrowser && r.browserOnScreen;
        });
        post(nt::OpenBrowser, c.info);
        if (c.ignored) {
            qv::test::spin(400);
            EXPECT_TRUE(shownSeen.empty()) << c.name;
            EXPECT_EQ(r.model.showBrowser, c.shownBefore) << c.name;
            continue;
        }
        EXPECT_FALSE(r.model.showBrowser) << c.name << ": closed at once";
        ASSERT_TRUE(qv::test::waitUntil([&] { return r.model.showBrowser; }, 2000)) << c.name;
        EXPECT_EQ(shownSeen.back(), true);
        if (c.shownBefore) {
            EXPECT_EQ(shownSeen.front(), false) << c.name << ": the old panel left first";
        }
        EXPECT_EQ(globalPdfMode, c.pdfMode) << c.name;
        EXPECT_EQ(globalLessonsMode, c.lessonsMode) << c.name;
        EXPECT_EQ(pdfViewerQuery, c.query) << c.name;
        // The panel that was closed is never asked to load the PDF; the new one reads the query.
        EXPECT_TRUE(r.pdfs.empty()) << c.name;
    }
    pdfViewerQuery.clear();
    globalPdfMode = globalLessonsMode = false;
}

TEST(RootViewHandlers, TwoOpenBrowserInQuickSuccessionTheLastDecides) {
    Root r;
    post(nt::OpenBrowser, {{"pdfMode", true}});
    post(nt::OpenBrowser, {{"pdfMode", false}, {"lessonsMode", true}});
    ASSERT_TRUE(qv::test::waitUntil([&] { return r.model.showBrowser && globalLessonsMode; }, 2000));
    EXPECT_FALSE(globalPdfMode);
    globalLessonsMode = false;
}

TEST(RootViewHandlers, SideBySideShowsPicturesAndOpensOtherFiles) {
    QTemporaryDir dir;
    const QString picturePath = dir.filePath("20260101_101010.png");
    const QString secondPath = dir.filePath("second shot.png");
    QImage image(64, 36, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(picturePath));
    image.fill(Qt::yellow);
    ASSERT_TRUE(image.save(secondPath));
    const QString moviePath = dir.filePath("20260101_101011.mp4");
    QFile movie(moviePath);
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
    movie.write("not a picture");
    movie.close();

    Root r;
    int openings = 0;
    QObject::connect(&r.model, &RootViewModel::sideBySideOpening, [&] { ++openings; });
    post(nt::OpenSideBySide, {{"image", image}});
    post(nt::OpenSideBySide, {{"url", picturePath}});  // a text, not a URL: ignored
    EXPECT_FALSE(r.model.showSideBySide);
    EXPECT_TRUE(r.opened.empty());

    post(nt::OpenSideBySide, {{"url", QUrl::fromLocalFile(moviePath)}});
    EXPECT_EQ(r.opened, std::vector<QUrl>{QUrl::fromLocalFile(moviePath)});
    EXPECT_FALSE(r.model.showSideBySide);

    post(nt::OpenSideBySide, {{"url", QUrl::fromLocalFile(picturePath)}, {"image", QImage()}});
    EXPECT_TRUE(r.model.showSideBySide);
    EXPECT_EQ(openings, 1);
    EXPECT_EQ(r.model.splitWidth, 700.0) << "half the window";
    EXPECT_EQ(r.model.shareUrl, QUrl::fromLocalFile(picturePath));
    EXPECT_EQ(r.model.sideBySideImage.pixelColor(0, 0), QColor(Qt::blue));
    r.model.sideBySideShown();
    EXPECT_FALSE(r.model.splitWidth) << "then the divider decides";

    // Replacing while open: new picture, unzoomed, undisplaced, same width, no opening again.
    r.model.picture.scale = r.model.picture.lastScale = 3.0;
    r.model.picture.viewState = {10, 10};
    post(nt::OpenSideBySide, {{"url", QUrl::fromLocalFile(secondPath)}});
    EXPECT_EQ(openings, 1);
    EXPECT_FALSE(r.model.splitWidth);
    EXPECT_EQ(r.model.picture.scale, 1.0);
    EXPECT_EQ(r.model.picture.lastScale, 1.0);
    EXPECT_EQ(r.model.picture.viewState, QPointF());
    EXPECT_EQ(r.model.sideBySideImage.pixelColor(0, 0), QColor(Qt::yellow));

    // A movie while a picture is shown leaves the pane as it is.
    post(nt::OpenSideBySide, {{"url", QUrl::fromLocalFile(moviePath)}});
    EXPECT_EQ(r.opened.size(), 2u);
    EXPECT_EQ(r.model.shareUrl, QUrl::fromLocalFile(secondPath));
    r.model.closeSideBySide();
    EXPECT_FALSE(r.model.showSideBySide);
    EXPECT_FALSE(r.model.sideBySideImage.isNull()) << "closing keeps the picture";
}
