// The browser's rules without a web engine: how a PDF path is named to the viewer and the server,
// the scheme rule of typed addresses, the board's navigation policy, and the bookmark records and
// their file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QUrlQuery>

#include "webpanels/AppScheme.h"
#include "webpanels/Bookmarks.h"
#include "webpanels/BrowserBookmarkView.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/NavigationPolicy.h"
#include "webpanels/PdfViewerAddress.h"
#include "webpanels/Resources.h"

using namespace qv::webpanels;

namespace {

// What the viewer does with its query (URLSearchParams: "+" is a space, %XX decoded), then what
// the server's "/files/:path" route does with the segment (percent-decoded, "@@" is "/").
QString pathTheServerReads(const QString& query) {
    const QString address = QUrlQuery(query).queryItemValue(QStringLiteral("file"), QUrl::FullyDecoded);
    const QString prefix = pdfServerOrigin() + QStringLiteral("/files/");
    if (!address.startsWith(prefix)) return QStringLiteral("<not our server: ") + address + '>';
    const QString segment = address.mid(prefix.size());
    if (segment.contains('/') || segment.contains('?') || segment.contains('#')) return QStringLiteral("<split>");
    QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(segment.toLatin1()));
    return path.replace(QStringLiteral("@@"), QStringLiteral("/"));
}

}  // namespace

TEST(PdfViewerAddress, EveryFileNameReachesTheServerWhole) {
    struct Case {
        const char* path;
        const char* segment;
    } cases[] = {
        {"/Users/a/My File.pdf", "@@Users@@a@@My%20File.pdf"},
        {"/tmp/My File #1.pdf", "@@tmp@@My%20File%20%231.pdf"},
        {"/tmp/100% sure.pdf", "@@tmp@@100%25%20sure.pdf"},
        {"/tmp/a&b=c.pdf", "@@tmp@@a%26b%3Dc.pdf"},
        {"/tmp/1+1.pdf", "@@tmp@@1%2B1.pdf"},
        {"/tmp/why?.pdf", "@@tmp@@why%3F.pdf"},
        {"/home/ü/Übung.pdf", "@@home@@%C3%BC@@%C3%9Cbung.pdf"},
        {"/tmp/already%20encoded.pdf", "@@tmp@@already%2520encoded.pdf"},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(pdfFileSegment(path), QString::fromUtf8(c.segment)) << c.path;
        const QString query = pdfViewerQueryFor(path);
        EXPECT_TRUE(query.startsWith("file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2F")) << query.toStdString();
        // Only unreserved characters and escapes: nothing ends the value early.
        EXPECT_FALSE(query.mid(5).contains(QRegularExpression("[^A-Za-z0-9%._~-]"))) << query.toStdString();
        EXPECT_EQ(pathTheServerReads(query), path) << c.path;
        // The viewer's address carries the query unchanged.
        EXPECT_EQ(pdfViewerAddress(query).query(QUrl::FullyEncoded), query) << c.path;
        // Handed to the viewer, the file is the one the server is asked for, by that very name.
        const std::string asked = pathTheServerReads(query).toStdString();
        EXPECT_FALSE(wasHandedToPdfViewer(asked)) << c.path;
        EXPECT_EQ(handPdfToViewer(path), query);
        EXPECT_TRUE(wasHandedToPdfViewer(asked)) << c.path;
        EXPECT_FALSE(wasHandedToPdfViewer(asked + "x"));
    }
    EXPECT_EQ(pdfViewerAddress("file=x").toString(), "quorvane://app/marrowpanel/assets/pdfviewer/web/viewer.html?file=x");
}

// The program's pages of its scheme carry its policy as the first thing of their head, also a page
// that leaves its head to the parser. The policy lets no text become code and names the only
// places.
TEST(ProgramPagePolicy, WrittenIntoTheHeadOfEveryPage) {
    const QString policy = QStringLiteral("default-src 'self'");
    const QByteArray meta = "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'self'\">";
    struct Case {
        QByteArray page;
        QByteArray expected;
    } cases[] = {
        {"<!DOCTYPE html><html><head><title>x</title></head></html>",
         "<!DOCTYPE html><html><head>" + meta + "<title>x</title></head></html>"},
        {"\xef\xbb\xbf<!DOCTYPE html>\n<HTML>\n  <HEAD lang=\"en\">\n<script src=a.js></script>",
         "\xef\xbb\xbf<!DOCTYPE html>\n<HTML>\n  <HEAD lang=\"en\">" + meta + "\n<script src=a.js></script>"},
        {"<html><header>no</header><head>", "<html><header>no</header><head>" + meta},
        {"<html><body><script>1</script></body></html>", meta + "<html><body><script>1</script></body></html>"},
        {"\xef\xbb\xbf <!doctype html><body>", "\xef\xbb\xbf <!doctype html>" + meta + "<body>"},
        {"<head", meta + "<head"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page.toStdString());
        EXPECT_EQ(withContentSecurityPolicy(c.page, policy).toStdString(), c.expected.toStdString());
    }

    const QString own = ownPagesContentSecurityPolicy(9080);
    EXPECT_FALSE(own.contains("unsafe-eval"));
    EXPECT_TRUE(own.contains("script-src 'self' quorvane://app;")) << own.toStdString();
    EXPECT_TRUE(own.contains("connect-src 'self' quorvane://app http://localhost:9080 http://127.0.0.1:9080 data: blob:;"))
        << own.toStdString();
    EXPECT_TRUE(own.contains("img-src 'self' quorvane://app http://localhost:9080 http://127.0.0.1:9080 data: blob:;"));
    EXPECT_TRUE(own.contains("form-action 'self' quorvane://app http://localhost:9080 http://127.0.0.1:9080;"));
    EXPECT_TRUE(ownPagesContentSecurityPolicy(0, {"https://example.org/a.svg"})
                    .contains("img-src 'self' quorvane://app data: blob: https://example.org/a.svg;"));
}

TEST(BrowserAddress, SchemeRuleTable) {
    struct Case {
        const char* typed;
        const char* loaded;  // "" : nothing loads
    } cases[] = {
        {"example.org", "http://example.org"},
        {"localhost:9080/index.html", "http://localhost:9080/index.html"},
        {"https://example.org/a?b=c", "https://example.org/a?b=c"},
        {"http://example.org", "http://example.org"},
        // Capitals count as no scheme: "http://" goes in front, and the text reads as host "https"
        // with an empty port.
        {"HTTPS://example.org", "http://https//example.org"},
        {"Https://example.org/x", "http://https//example.org/x"},
        {"ftp://example.org", "http://ftp//example.org"},
        {"two words", ""},
        {"", ""},
        {"http://", ""},
    };
    for (const auto& c : cases) {
        const std::optional<QUrl> url = BrowserWebView::typedAddress(QString::fromUtf8(c.typed));
        if (*c.loaded == '\0') {
            EXPECT_FALSE(url.has_value()) << c.typed << " gave " << (url ? url->toString().toStdString() : "");
        } else {
            ASSERT_TRUE(url.has_value()) << c.typed;
            EXPECT_EQ(url->toString(), QString::fromUtf8(c.loaded)) << c.typed;
        }
    }
}

TEST(BoardNavigation, DecisionsParseTheAddress) {
    const QString board = "board.quorvane.org";
    struct Case {
        const char* url;
        NavigationDecision decision;
    } cases[] = {
        {"https://board.quorvane.org/wendle/mac", NavigationDecision::Allow},
        {"https://cdn.board.quorvane.org/a.js", NavigationDecision::Allow},
        {"http://localhost:9080/files/@@tmp@@a.pdf", NavigationDecision::Allow},
        {"https://evil.example/?localhost", NavigationDecision::Cancel},               // only in the query
        {"https://board.quorvane.org.evil.example/", NavigationDecision::Cancel},      // a longer host
        {"https://evil.example/board.quorvane.org", NavigationDecision::Cancel},
        {"https://localhost.evil.example/", NavigationDecision::Cancel},
        {"file:///tmp/Notes.PDF", NavigationDecision::OpenLocalFile},
        {"file:///tmp/picture.png", NavigationDecision::OpenLocalFile},  // handed on, then ignored
        {"file://remote.host/share/a.pdf", NavigationDecision::Cancel},
        {"data:text/html,localhost", NavigationDecision::Cancel},
        {"javascript:alert('board.quorvane.org')", NavigationDecision::Cancel},
        {"", NavigationDecision::Cancel},
        // The program's own board page stands in for the hosted one; no other file of ours.
        {"quorvane://app/marrowpanel/index.html", NavigationDecision::Allow},
        {"quorvane://app/marrowpanel/whiteboard.js", NavigationDecision::Cancel},
        {"quorvane://app/../../../../etc/passwd", NavigationDecision::Cancel},
        {"quorvane://other/marrowpanel/index.html", NavigationDecision::Cancel},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decideBoardNavigation(QUrl(QString::fromUtf8(c.url)), board, whiteboardPagePath()), c.decision) << c.url;
}

TEST(Bookmarks, RecordsNamesAndJson) {
    // Name: the reported title (also an empty one), else the host, else nothing.
    EXPECT_EQ(makeBookmark("http://example.org/a", QString("Title")).name, "Title");
    EXPECT_EQ(makeBookmark("http://example.org/a", QString("")).name, "");
    EXPECT_EQ(makeBookmark("http://example.org/a", std::nullopt).name, "example.org");
    EXPECT_EQ(makeBookmark("not a url", std::nullopt).name, "");
    EXPECT_EQ(makeBookmark("file:///tmp/x.html", std::nullopt).name, "");
    const Bookmark a = makeBookmark("http://example.org", std::nullopt);
    const Bookmark b = makeBookmark("http://example.org", std::nullopt);
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.thumbnail, a.id + ".png");

    // Compact, newest first as given, four string members; reading back gives the same records.
    Bookmark withPicture = a;
    withPicture.thumbnailImage = QImage(4, 4, QImage::Format_ARGB32);
    const QByteArray json = bookmarksJson({withPicture, b});
    EXPECT_FALSE(json.contains(' '));
    EXPECT_FALSE(json.contains('\n'));
    const QJsonArray array = QJsonDocument::fromJson(json).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[0].toObject().keys(), (QStringList{"id", "name", "thumbnail", "url"}));
    EXPECT_EQ(array[0].toObject()["id"].toString(), a.id);
    const auto back = parseBookmarks(json);
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), 2);
    EXPECT_EQ((*back)[0], a);  // no picture on either side
    EXPECT_FALSE((*back)[0] == withPicture);
    EXPECT_EQ((*back)[1], b);

    // A missing "name" reads empty; a top-level object gives no bookmarks; no JSON is an error.
    const auto partial = parseBookmarks(R"([{"id":"1","url":"http://x","thumbnail":"1.png"}])");
    ASSERT_TRUE(partial && partial->size() == 1);
    EXPECT_EQ((*partial)[0].name, "");
    EXPECT_EQ((*partial)[0].url, "http://x");
    const auto object = parseBookmarks(R"({"id":"1"})");
    ASSERT_TRUE(object.has_value());
    EXPECT_TRUE(object->isEmpty());
    QString error;
    EXPECT_FALSE(parseBookmarks("[{", &error).has_value());
    EXPECT_FALSE(error.isEmpty());
}

TEST(Bookmarks, FileIsWrittenWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString path = bookmarksFilePath(dir.path());
    EXPECT_EQ(writeWholeFile(path, "[1]"), "");
    EXPECT_EQ(writeWholeFile(path, "[2,3]"), "");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[2,3]");
    file.close();
    // A target that cannot be replaced (a folder of that name) or a missing folder: an error.
    const QString blocked = dir.filePath("blocked.json");
    ASSERT_TRUE(QDir().mkpath(blocked));
    EXPECT_NE(writeWholeFile(blocked, "[4]"), "");
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    EXPECT_NE(writeWholeFile(dir.filePath("missing/bookmarks.json"), "[5]"), "");
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"bookmarks.json"});
}

// The bookmark folder's pictures are the only files a bookmark reads or deletes: a thumbnail name
// from "bookmarks.json" that leads out of the folder (or through a link out of it) names nothing.
TEST(BookmarkPictures, OnlyFilesInsideTheFolderAreReadOrDeleted) {
    QTemporaryDir root;
    const QString folder = root.filePath("Quorvane/~bookmark");
    const QString victim = root.filePath("victim/keep.txt");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(root.filePath("victim")));
    ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
    for (const QString& path : {victim, folder + "/A.png", folder + "/sub/B.png"}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    ASSERT_TRUE(QFile::link(root.filePath("victim"), folder + "/out"));
    ASSERT_TRUE(QFile::link(victim, folder + "/keep-link.png"));

    const struct {
        const char* thumbnail;
        bool inside;
    } cases[] = {
        {"A.png", true},
        {"sub/B.png", true},
        {"../../victim/keep.txt", false},
        {"sub/../../../victim/keep.txt", false},
        {"out/keep.txt", false},       // a folder link out of the bookmark folder
        {"keep-link.png", false},      // a file link out of it
        {"", false},
        {".", false},
    };
    for (const auto& c : cases) {
        const auto path = bookmarkPicturePath(folder, QString::fromUtf8(c.thumbnail));
        EXPECT_EQ(path.has_value(), c.inside) << c.thumbnail;
    }
    EXPECT_FALSE(bookmarkPicturePath(folder, victim).has_value()) << "an absolute path";
    EXPECT_FALSE(bookmarkPicturePath(QString(), "A.png").has_value()) << "no folder";

    // Deleting a picture: the one inside goes, a file elsewhere stays (the close mark's whole path
    // is in BookmarkList.CloseMarkDeletesTheBookmarkAndOnlyPicturesInsideTheFolder).
    for (const QString& thumbnail : {QString("../../victim/keep.txt"), victim, QString("out/keep.txt"), QString("A.png")}) {
        Bookmark b;
        b.thumbnail = thumbnail;
        removeBookmarkPicture(folder, b);
    }
    EXPECT_TRUE(QFileInfo::exists(victim));
    EXPECT_FALSE(QFileInfo::exists(folder + "/A.png"));
}
