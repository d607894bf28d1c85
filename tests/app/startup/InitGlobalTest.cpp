#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fstream>

#include "../../server/ServerTestSupport.h"
#include "app/InitGlobal.h"
#include "state/Resources.h"
#include "state/AppState.h"
#include "server/HttpServer.h"
#include "server/html/PageResponse.h"
#include "webpanels/AppScheme.h"
#include "webpanels/PdfViewerAddress.h"

namespace qv::app {
namespace {

std::string filesTarget(const QString& path) {
    QString target = path;
    target.replace("/", "@@").replace(" ", "%20");
    return "/files/" + target.toStdString();
}

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// Runs initGlobal and returns what it printed.
std::string initGlobalPrinting(const QString& folder, std::uint16_t port) {
    testing::internal::CaptureStdout();
    initGlobal(folder, port);
    return testing::internal::GetCapturedStdout();
}

TEST(ResourcesTest, ResourcesDirectoryHoldsTemplatesAndLessons) {
    EXPECT_TRUE(QFileInfo::exists(resourcesDirectory() + "/templates/templates.json"));
    EXPECT_TRUE(QFileInfo::exists(resourcesDirectory() + "/wendlelessons/index.html"));
}

// One server per process: this test owns the app-wide server from its first start on.
TEST(InitGlobalTest, OneServerServesFilesAndLessonsAcrossSaveFolders) {
    QTemporaryDir first, second, third;
    server::HttpServer blocker;
    blocker.start(0, true);
    const std::uint16_t port = blocker.localPort();

    // The port is taken: the start fails with the bind error, and the program runs on.
    std::string printed = initGlobalPrinting(first.path(), port);
    EXPECT_NE(printed.find("Init Global: \n"), std::string::npos);
    EXPECT_NE(printed.find("Server start error: bindFailed(\"Address already in use\")\n"), std::string::npos) << printed;
    ASSERT_TRUE(httpServer);
    EXPECT_FALSE(httpServer->isRunning());

    // Once the port is free the next save folder starts the server.
    blocker.stop();
    printed = initGlobalPrinting(second.path(), port);
    EXPECT_NE(printed.find("Server has started ( port = " + std::to_string(port) + " ). Try to connect now...\n"),
              std::string::npos)
        << printed;
    ASSERT_TRUE(httpServer && httpServer->isRunning());
    const auto running = httpServer;

    // Another save folder keeps the running server and moves the folders.
    printed = initGlobalPrinting(third.path(), port);
    EXPECT_EQ(printed.find("Server start error"), std::string::npos) << printed;
    EXPECT_EQ(httpServer, running);
    EXPECT_EQ(folderLocations()->rootFolderURL, third.path() + "/Quorvane");

    const QString pdf = third.path() + "/Quorvane/~library/a b.pdf";
    writeText(pdf, "PDF-DATA");
    const std::string response = server::test::get(port, filesTarget(pdf));
    EXPECT_EQ(server::test::statusLine(response), "HTTP/1.1 200 OK");
    EXPECT_NE(response.find("\r\nContent-Type: application/pdf\r\n"), std::string::npos);
    EXPECT_NE(response.find("\r\nContent-Length: 8\r\n"), std::string::npos);
    EXPECT_NE(response.find("\r\nAccess-Control-Allow-Origin: *\r\n"), std::string::npos);
    EXPECT_EQ(server::test::bodyOf(response), "PDF-DATA");
    // The disk answers the program's own pages only for the documents handed to the PDF viewer,
    // and never a page of another site; the lessons stay open to its navigations.
    const std::string crossSite = "Sec-Fetch-Site: cross-site\r\n";
    const std::string ownPage = crossSite + "Origin: " + webpanels::appOrigin().toStdString() + "\r\n";
    auto status = [&](const std::string& target, const std::string& headers) {
        return server::test::statusLine(server::test::get(port, target, headers));
    };
    EXPECT_EQ(status(filesTarget(pdf), ownPage), "HTTP/1.1 403 Forbidden") << "not handed yet";
    EXPECT_EQ(webpanels::handPdfToViewer(pdf), webpanels::pdfViewerQueryFor(pdf));
    EXPECT_EQ(status(filesTarget(pdf), ownPage), "HTTP/1.1 200 OK");
    EXPECT_EQ(status(filesTarget(pdf), crossSite), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(status(filesTarget("/etc/hostname"), ownPage), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(status(filesTarget("/etc/hostname"), ""), "HTTP/1.1 200 OK") << "local tools keep reading the disk";
    EXPECT_EQ(status("/index.html", crossSite), "HTTP/1.1 200 OK");

    // The server's own pages carry the program's policy: no eval, loads from the program alone
    // (the root page's one picture named exactly); the disk's files keep their sandbox.
    const std::string policy = "\r\nContent-Security-Policy: " +
                               webpanels::ownPagesContentSecurityPolicy(port).toStdString() + "\r\n";
    EXPECT_NE(server::test::get(port, "/index.html").find(policy), std::string::npos);
    EXPECT_NE(server::test::get(port, "/grade1/index.html").find(policy), std::string::npos);
    const std::string root = server::test::get(port, "/");
    EXPECT_EQ(server::test::statusLine(root), "HTTP/1.1 200 OK");
    EXPECT_NE(root.find("Content-Security-Policy: default-src 'self' quorvane://app"), std::string::npos) << root;
    EXPECT_NE(root.find(" " + std::string(html::rootPageImageUrl) + ";"), std::string::npos) << root;
    EXPECT_NE(server::test::get(port, filesTarget(pdf)).find("\r\nContent-Security-Policy: sandbox\r\n"), std::string::npos);

    struct Case {
        std::string target;
        std::string status;
    } lessons[] = {
        {"/index.html", "HTTP/1.1 200 OK"},
        {"/grade1/index.html", "HTTP/1.1 200 OK"},
        {"/grade1/..%2Findex.html", "HTTP/1.1 404 Not Found"},
        {"/missing.html", "HTTP/1.1 404 Not Found"},
    };
    for (const Case& c : lessons) {
        SCOPED_TRACE(c.target);
        const std::string answer = server::test::get(port, c.target);
        EXPECT_EQ(server::test::statusLine(answer), c.status);
        if (c.status == "HTTP/1.1 200 OK") {
            EXPECT_NE(answer.find("Content-Type: text/html"), std::string::npos);
        }
    }

    // A body in a transfer coding is refused, not taken as empty; bodies stay within 1 MiB.
    const std::string post = "POST /index.html HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    EXPECT_EQ(server::test::statusLine(server::test::roundTrip(port, post + "Transfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\n")),
              "HTTP/1.1 501 Not Implemented");
    EXPECT_EQ(server::test::statusLine(server::test::roundTrip(port, post + "Content-Length: 1048577\r\n\r\n")),
              "HTTP/1.1 413 Content Too Large");
}

TEST(InitGlobalTest, CreatesLayoutAndRefreshesTemplates) {
    QTemporaryDir save;
    initGlobal(save.path(), 0);
    auto folders = folderLocations();
    ASSERT_TRUE(folders);
    const QString root = save.path() + "/Quorvane";
    EXPECT_EQ(folders->rootFolderURL, root);
    for (const char* name : {"images", "videos", "~library", "~templates", "~bookmark"})
        EXPECT_TRUE(QFileInfo(root + "/" + name).isDir()) << name;
    const QString catalogue = root + "/~templates/templates.json";
    ASSERT_TRUE(QFileInfo::exists(catalogue));

    // A template the user removed or changed comes back; the user's own file stays.
    QFile::remove(catalogue);
    writeText(root + "/~templates/lined-paper.svg", "changed");
    writeText(root + "/~templates/favorites.json", "[\"grid-paper.svg\"]");
    initGlobal(save.path(), 0);
    EXPECT_TRUE(QFileInfo::exists(catalogue));
    QFile lined(root + "/~templates/lined-paper.svg");
    ASSERT_TRUE(lined.open(QIODevice::ReadOnly));
    EXPECT_NE(lined.readAll(), QByteArray("changed"));
    EXPECT_TRUE(QFileInfo::exists(root + "/~templates/favorites.json"));
}

TEST(InitGlobalTest, FolderThatCannotBeCreatedIsReportedAndTheRestGoesOn) {
    // "Quorvane" is a plain file, so none of the folders below it can be made.
    QTemporaryDir blocked;
    writeText(blocked.path() + "/Quorvane", "not a folder");
    const std::string printed = initGlobalPrinting(blocked.path(), 0);
    EXPECT_NE(printed.find("Not a directory"), std::string::npos) << printed;
    EXPECT_EQ(folderLocations()->rootFolderURL, blocked.path() + "/Quorvane");
}

TEST(LessonRoutesTest, SubfoldersRelativeToTheLessonsFolder) {
    QTemporaryDir lessons;
    QDir().mkpath(lessons.path() + "/grade1/unit2");
    QDir().mkpath(lessons.path() + "/.hidden");
    server::HttpServer server;
    registerLessonRoutes(server, lessons.path());
    auto patterns = server.routePatterns();
    std::sort(patterns.begin(), patterns.end());
    EXPECT_EQ(patterns, (std::vector<std::string>{"/:path", "/grade1/:path", "/grade1/unit2/:path"}));
}

TEST(CopyFolderContentsTest, MissingSourcePrintsError) {
    QTemporaryDir to;
    testing::internal::CaptureStdout();
    copyFolderContents(to.path() + "/missing", to.path());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nError\n\n");
}

}  // namespace
}  // namespace qv::app
