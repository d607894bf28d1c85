#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "../../server/ServerTestSupport.h"
#include "app/Download.h"
#include "app/UpdateCheck.h"
#include "state/AppState.h"
#include "server/HttpServer.h"
#include "support/QtWait.h"

namespace qv::app {
namespace {

TEST(UpdateCheckTest, VersionsCompareByNumericParts) {
    struct Case {
        const char* installed;
        const char* offered;
        bool newer;
    } cases[] = {
        {"1.9", "1.10", true}, {"1.10", "1.9", false}, {"1.0", "1.0", false}, {"2.0", "2.0.1", true},
        {"2.0", "2.0.0", false}, {"1.2.3", "1.2.4", true}, {"10.0", "9.9", false}, {"1.0.0", "1.1", true},
    };
    for (const Case& c : cases) EXPECT_EQ(isNewerVersion(c.installed, c.offered), c.newer) << c.installed << " " << c.offered;
}

TEST(UpdateCheckTest, FeedTable) {
    const QByteArray offer10 = R"(<feed version="1.10" downloadLocation="http://h/q-1.10.deb"/>)";
    struct Case {
        const char* name;
        std::optional<QByteArray> body;
        const char* installed;
        std::optional<bool> after;  // none: the value stays as it was
        QString location;
    } cases[] = {
        {"no body", std::nullopt, "1.0", std::nullopt, "old"},
        {"not XML", QByteArray("this is not xml"), "1.0", std::nullopt, "old"},
        {"broken XML", QByteArray(R"(<feed version="2" downloadLocation="x"><a></feed>)"), "1.0", std::nullopt, "old"},
        {"missing version", QByteArray(R"(<feed downloadLocation="x"/>)"), "1.0", std::nullopt, "old"},
        {"missing location", QByteArray(R"(<feed version="9"/>)"), "1.0", std::nullopt, "old"},
        {"equal", QByteArray(R"(<any version="1.0" downloadLocation="x"/>)"), "1.0", false, "old"},
        {"newer", offer10, "1.9", true, "http://h/q-1.10.deb"},
        {"older", QByteArray(R"(<feed version="1.9" downloadLocation="y"/>)"), "1.10", false, "old"},
    };
    // From either value before, so that a wrong reset (or a wrong set) shows.
    for (const Case& c : cases) {
        for (bool before : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (before ? ", available before" : ", not available before"));
            updateAvailable = before;
            updateDownloadLocation = "old";
            handleUpdateFeed(c.body, c.installed);
            EXPECT_EQ(updateAvailable, c.after.value_or(before));
            EXPECT_EQ(updateDownloadLocation, c.location);
        }
    }
}

// A local feed and installer host on loopback.
class LocalHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.server->GET["/feed/newer"] = [](const server::HttpRequest&) {
            return server::HttpResponse::ok(server::HttpResponseBody::text(
                R"(<?xml version="1.0"?><update version="99.0" downloadLocation="http://localhost/x/Quorvane-99.deb"/>)"));
        };
        host.server->GET["/dl/:path"] = [this](const server::HttpRequest& request) {
            lastQuery = request.queryParams.empty() ? "" : request.queryParams.front().first;
            queries.push_back(lastQuery);
            return server::HttpResponse::ok(server::HttpResponseBody::data({'N', 'E', 'W'}));
        };
        host.start();
        base = "http://127.0.0.1:" + QString::number(host.port);
        ASSERT_TRUE(save.isValid());
        setFolderLocations(std::make_shared<const FolderLocations>(FolderLocations::forSaveFolder(save.path())));
    }
    server::test::RunningServer host;
    QString base;
    QTemporaryDir save;
    std::string lastQuery;
    std::vector<std::string> queries;
};

TEST_F(LocalHostTest, CheckForUpdateAgainstLocalFeed) {
    updateAvailable = false;
    bool answered = false;
    checkForUpdate(QUrl(base + "/feed/newer"), [&] { answered = true; });
    ASSERT_TRUE(test::waitUntil([&] { return answered; }));
    EXPECT_TRUE(updateAvailable);
    EXPECT_EQ(updateDownloadLocation, "http://localhost/x/Quorvane-99.deb");

    answered = false;
    checkForUpdate(QUrl(base + "/feed/missing"), [&] { answered = true; });  // 404, no attributes
    ASSERT_TRUE(test::waitUntil([&] { return answered; }));
    EXPECT_TRUE(updateAvailable) << "a reply without the attributes changes nothing";
}

TEST_F(LocalHostTest, DownloadReplacesOldFileAndSkipsFailures) {
    const QString target = save.path() + "/Quorvane/Quorvane-2.deb";
    QDir().mkpath(save.path() + "/Quorvane");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("OLD-AND-LONGER");
    }
    QString stored;
    downloadFile(base + "/dl/Quorvane-2.deb", [&](const QString& path) { stored = path; });
    ASSERT_TRUE(test::waitUntil([&] { return !stored.isEmpty(); }));
    EXPECT_EQ(stored, target);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("NEW"));
    EXPECT_FALSE(lastQuery.empty()) << "a random number follows the address";
    file.close();

    // 404: no completion and the file stays.
    bool called = false;
    downloadFile(base + "/missing/Quorvane-2.deb", [&](const QString&) { called = true; });
    // The request for the next file is answered after this one, so its completion marks the end.
    QString next;
    downloadFile(base + "/dl/other.deb", [&](const QString& path) { next = path; });
    ASSERT_TRUE(test::waitUntil([&] { return !next.isEmpty(); }));
    test::spin(100);
    EXPECT_FALSE(called);
    // Each download asks with a number of its own.
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_FALSE(queries[1].empty());
    EXPECT_NE(queries[0], queries[1]) << "the same number for two downloads";
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("NEW"));
}

TEST(DownloadTest, InstallerNamesThatCannotBeFilesAreRefused) {
    EXPECT_EQ(installerFileName("https://h/a/setup.deb"), "setup.deb");
    EXPECT_EQ(installerFileName("https://h/a/setup.deb?x=1"), "setup.deb");
    EXPECT_EQ(installerFileName("https://h/a/"), "");
    EXPECT_EQ(installerFileName("https://h/a/."), "");
    EXPECT_EQ(installerFileName("https://h/a/.."), "");
    EXPECT_EQ(installerFileName("https://h"), "");
}

}  // namespace
}  // namespace qv::app
