#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "library/files/ImportRules.h"
#include "library/files/TemplateCatalogue.h"

using namespace qv::library;

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}
QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(TemplateCatalogue, CategoriesKeepOrderAndDuplicates) {
    QTemporaryDir dir;
    write(dir.filePath("templates.json"),
          R"({"categories":["Math","All"],"templates":[{"url":"a.png","name":"A","extra":1}]})");
    QString error;
    const auto cat = readTemplateCatalogue(dir.path(), &error);
    ASSERT_TRUE(cat) << error.toStdString();
    EXPECT_EQ(cat->categoryList, (QStringList{"All", "Favorite", "Math", "All"}));
    ASSERT_EQ(cat->templates.size(), 1);
    EXPECT_EQ(templateKey(cat->templates[0]), "a.png");
}

TEST(TemplateCatalogue, MissingKeysAndBrokenFiles) {
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(readTemplateCatalogue(dir.path(), &error));  // no file
    write(dir.filePath("templates.json"), "{}");
    auto cat = readTemplateCatalogue(dir.path(), &error);
    ASSERT_TRUE(cat);
    EXPECT_TRUE(cat->templates.isEmpty());
    EXPECT_EQ(cat->categoryList, (QStringList{"All", "Favorite"}));
    write(dir.filePath("templates.json"), "{\"templates\": [");
    error.clear();
    EXPECT_FALSE(readTemplateCatalogue(dir.path(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(Favorites, RoundTripKeepsTheCatalogueKeysAndUnknownNames) {
    QTemporaryDir dir;
    QStringList favorites;
    QString error;
    EXPECT_EQ(readFavorites(dir.path(), &favorites, &error), FavoritesRead::missing);

    // The user had marked a template that this load left out (its picture is missing).
    const QStringList stored = {"gone.png", "maps/world.png"};
    const std::vector<std::pair<QString, bool>> loaded = {
        {"a.png", true}, {"maps/world.png", true}, {"b.png", false}, {"c.png", true}};
    const QStringList toStore = favoritesToStore(loaded, stored);
    EXPECT_EQ(toStore, (QStringList{"a.png", "maps/world.png", "c.png", "gone.png"}));
    ASSERT_TRUE(writeFavorites(dir.path(), toStore, &error)) << error.toStdString();
    // Compact, the "url" strings as they stand (a folder part included).
    EXPECT_EQ(read(dir.filePath("favorites.json")), R"(["a.png","maps/world.png","c.png","gone.png"])");

    ASSERT_EQ(readFavorites(dir.path(), &favorites, &error), FavoritesRead::ok);
    EXPECT_EQ(favorites, toStore);
    // Read back, each key matches its entry's "url" exactly, so the marks survive the round trip.
    for (const auto& [key, flag] : loaded) EXPECT_EQ(favorites.contains(key), flag) << key.toStdString();

    // Nothing favorited: "[]".
    ASSERT_TRUE(writeFavorites(dir.path(), favoritesToStore({{"a.png", false}}, {}), &error));
    EXPECT_EQ(read(dir.filePath("favorites.json")), "[]");
    // Unmarking a loaded template removes it.
    EXPECT_EQ(favoritesToStore({{"a.png", false}}, {"a.png"}), QStringList{});
}

TEST(Favorites, DamagedFilesAreKeptAside) {
    for (const QByteArray& damaged : {QByteArray("[\"a\","), QByteArray(R"({"a":1})"), QByteArray("\xff\xfe")}) {
        SCOPED_TRACE(damaged.toStdString());
        QTemporaryDir dir;
        QStringList favorites = {"kept"};
        QString error;
        write(dir.filePath("favorites.json"), damaged);
        EXPECT_EQ(readFavorites(dir.path(), &favorites, &error), FavoritesRead::damaged);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(favorites, QStringList{"kept"});
        const QString aside = setAsideDamagedFavorites(dir.path());
        EXPECT_TRUE(QFileInfo(aside).fileName().startsWith("favorites.json.unreadable-")) << aside.toStdString();
        EXPECT_EQ(read(aside), damaged);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("favorites.json")));
    }
}

TEST(Favorites, AFailedWriteSaysSo) {
    QTemporaryDir dir;
    QString error;
    write(dir.filePath("not-a-folder"), "x");  // the templates "folder" is a file
    EXPECT_FALSE(writeFavorites(dir.filePath("not-a-folder"), {"a.png"}, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ImportRules, Kinds) {
    const std::vector<std::pair<const char*, ImportKind>> cases = {
        {"/x/photo.PNG", ImportKind::imageOrPDF}, {"/x/photo.png", ImportKind::imageOrPDF},
        {"/x/a.JpEg", ImportKind::imageOrPDF},    {"/x/a.svg", ImportKind::imageOrPDF},
        {"/x/a.pdf", ImportKind::imageOrPDF},     {"/x/a.gif", ImportKind::imageOrPDF},
        {"/x/talk.key", ImportKind::presentation}, {"/x/deck.PPTX", ImportKind::presentation},
        {"/x/old.ppt", ImportKind::presentation}, {"/x/notes.txt", ImportKind::other},
        {"/x/noextension", ImportKind::other},    {"/x/movie.mp4", ImportKind::other},
    };
    for (const auto& [path, kind] : cases) EXPECT_EQ(importKind(path), kind) << path;
    EXPECT_EQ(importPanelTypes(), (QStringList{"png", "jpg", "jpeg", "gif", "svg", "key", "ppt", "pdf", "pptx"}));
}

TEST(ImportRules, SameFileIsDecidedOnCanonicalPaths) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("library");
    QDir(dir.path()).mkpath("elsewhere");
    const QString lib = dir.filePath("library");
    write(lib + "/photo.png", "picture");
    // The same file reached through "..", a symbolic link to the folder, and a link to the file.
    ASSERT_TRUE(QFile::link(lib, dir.filePath("liblink")));
    ASSERT_TRUE(QFile::link(lib + "/photo.png", dir.filePath("elsewhere/alias.png")));
    EXPECT_TRUE(isSameFile(dir.path() + "/elsewhere/../library/photo.png", lib + "/photo.png"));
    EXPECT_TRUE(isSameFile(dir.filePath("liblink/photo.png"), lib + "/photo.png"));

    for (const QString& source : {dir.path() + "/elsewhere/../library/photo.png", dir.filePath("liblink/photo.png")}) {
        const CopyResult r = copyIntoFolder(source, lib);
        EXPECT_EQ(r.outcome, CopyOutcome::sameFile) << source.toStdString();
        EXPECT_EQ(read(lib + "/photo.png"), "picture");  // never removed
    }
    // A different file of the same name in another folder is copied over.
    write(dir.filePath("elsewhere/photo.png"), "newer");
    EXPECT_FALSE(isSameFile(dir.filePath("elsewhere/photo.png"), lib + "/photo.png"));
    EXPECT_EQ(copyIntoFolder(dir.filePath("elsewhere/photo.png"), lib).outcome, CopyOutcome::copied);
    EXPECT_EQ(read(lib + "/photo.png"), "newer");
}

TEST(ImportRules, CopiesGoThroughATemporaryName) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("library");
    const QString lib = dir.filePath("library");
    write(lib + "/scan.jpg", "old copy");
    write(dir.filePath("scan.jpg"), QByteArray(300000, 'x'));

    const CopyResult r = copyIntoFolder(dir.filePath("scan.jpg"), lib);
    ASSERT_EQ(r.outcome, CopyOutcome::copied) << r.error.toStdString();
    EXPECT_EQ(r.destination, lib + "/scan.jpg");
    EXPECT_EQ(read(r.destination).size(), 300000);
    // Nothing is left under a temporary name.
    EXPECT_EQ(QDir(lib).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"scan.jpg"});

    // A source that cannot be read: the earlier copy stays, no partial file appears.
    const CopyResult failed = copyIntoFolder(dir.filePath("missing.jpg"), lib);
    EXPECT_EQ(failed.outcome, CopyOutcome::failed);
    EXPECT_FALSE(failed.error.isEmpty());
    EXPECT_EQ(QDir(lib).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"scan.jpg"});

    // The copy keeps the source's mode as far as the umask allows.
    QFile::setPermissions(dir.filePath("scan.jpg"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                        QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const mode_t umaskBefore = ::umask(027);
    const CopyResult masked = copyIntoFolder(dir.filePath("scan.jpg"), lib);
    ::umask(umaskBefore);
    ASSERT_EQ(masked.outcome, CopyOutcome::copied) << masked.error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(lib + "/scan.jpg").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A name of 250 bytes (125 letters of a non-Latin alphabet) fits a folder, and so it is copied:
    // the working name beside it stays within the limit of 255 bytes.
    const QString longName = QString(123, QChar(0x0416)) + ".png";
    ASSERT_EQ(QFile::encodeName(longName).size(), 250);
    write(dir.filePath(longName), "long");
    const CopyResult longCopy = copyIntoFolder(dir.filePath(longName), lib);
    ASSERT_EQ(longCopy.outcome, CopyOutcome::copied) << longCopy.error.toStdString();
    EXPECT_EQ(read(lib + "/" + longName), "long");
    EXPECT_EQ(QDir(lib).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
    QFile::remove(lib + "/" + longName);

    // A folder of the same name (an older slide folder) is replaced by the file.
    QDir(lib).mkpath("chart.png");
    write(lib + "/chart.png/inner", "x");
    write(dir.filePath("chart.png"), "chart");
    EXPECT_EQ(copyIntoFolder(dir.filePath("chart.png"), lib).outcome, CopyOutcome::copied);
    EXPECT_TRUE(QFileInfo(lib + "/chart.png").isFile());
}

}  // namespace
