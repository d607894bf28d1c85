#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "library/WorkingFiles.h"
#include "support/KilledChild.h"

using namespace qv::library;

namespace {

void write(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(WorkingFiles, NamesStayWithinTheLimitOfOneName) {
    const struct {
        const char* what;
        QString name;
    } cases[] = {
        {"short", "photo.png"},
        {"250 bytes of Cyrillic", QString(123, QChar(0x0416)) + ".png"},
        {"emoji cut between their halves", QString::fromUtf8("\xF0\x9F\x98\x80").repeated(70) + ".gif"},
        {"quotes and marks", "my \"class\" #1.gif"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = workingName(c.name, "copy");
        EXPECT_LE(QFile::encodeName(name).size(), 255);
        EXPECT_TRUE(name.startsWith("."));
        EXPECT_TRUE(isWorkingName(name)) << name.toStdString();
        EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name);  // whole characters only
        EXPECT_NE(workingName(c.name, "copy"), name);  // a random part of its own each time
    }
    for (const char* other : {"photo.png", ".photo.png", ".photo.png.part", "x.copy-abcdef.part"})
        EXPECT_FALSE(isWorkingName(other)) << other;
}

TEST(WorkingFiles, FilesFollowTheUmask) {
    QTemporaryDir dir;
    const mode_t old = ::umask(022);
    QString error;
    std::optional<WorkingFile> file = createWorkingFile(dir.path(), "a.gif", "export", &error);
    ::umask(old);
    ASSERT_TRUE(file) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file->path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

QStringList recordsIn(const QString& folder) {
    return QDir(folder).entryList({"*.note"}, QDir::Files | QDir::Hidden);
}

// One working file (or folder) as a run killed while it wrote it left it, with its record in
// `records`; empty when it could not be made.
QString leftByAKilledRun(const QString& folder, const QString& name, const QString& tag,
                         const QString& records, bool isFolder = false) {
    return qv::test::runAndKill([&](const qv::test::KillNow& killNow) {
               QString error;
               if (isFolder) {
                   if (const auto d = createWorkingFolder(folder, name, tag, &error, records))
                       killNow({d->path});
               } else if (const auto f = createWorkingFile(folder, name, tag, &error, records)) {
                   killNow({f->path});
               }
           })
        .value(0);
}

// What a killed run left behind goes at the next start, found through the records it wrote before it
// made each file and folder; what a running program holds stays, and so does everything no record
// names however much it looks like a working file: the teacher's own hidden files and folders, and
// what an earlier version of the program left without a record.
TEST(WorkingFiles, OnlyWhatAKilledRunRecordedIsRemoved) {
    QTemporaryDir dir, elsewhere, records;
    // Killed while it copied a picture and made slides.
    const QStringList killed = qv::test::runAndKill([&](const qv::test::KillNow& killNow) {
        QString error;
        std::optional<WorkingFile> f =
            createWorkingFile(dir.path(), "killed.png", "copy", &error, records.path());
        std::optional<WorkingFolder> d =
            createWorkingFolder(dir.path(), "killed", "slides", &error, records.path());
        if (!f || !d) return;
        QFile slide(d->path + "/killed.001.png");
        slide.open(QIODevice::WriteOnly);
        killNow({f->path, d->path});
    });
    ASSERT_EQ(killed.size(), 2);
    ASSERT_EQ(recordsIn(records.path()).size(), 2);
    // A killed run's working file that is gone, and a file the teacher later put under that very
    // name: the record names another file.
    const QStringList replaced{leftByAKilledRun(dir.path(), "mine.png", "copy", records.path())};
    ASSERT_FALSE(replaced[0].isEmpty());
    ASSERT_TRUE(QFile::remove(replaced[0]));
    write(replaced[0], "the teacher's");
    // Killed before a folder took its place: a link stands there now, to a folder with a file in it.
    const QStringList linked{leftByAKilledRun(dir.path(), "linked", "slides", records.path(), true)};
    ASSERT_FALSE(linked[0].isEmpty());
    ASSERT_TRUE(QDir(linked[0]).removeRecursively());
    write(elsewhere.filePath("keep.png"));
    ASSERT_TRUE(QFile::link(elsewhere.path(), linked[0]));

    // A running program's.
    QString error;
    const std::optional<WorkingFile> held =
        createWorkingFile(dir.path(), "live.png", "copy", &error, records.path());
    ASSERT_TRUE(held && held->lock.held()) << error.toStdString();
    const std::optional<WorkingFolder> heldFolder =
        createWorkingFolder(dir.path(), "live", "slides", &error, records.path());
    ASSERT_TRUE(heldFolder && heldFolder->lock.held()) << error.toStdString();
    // The teacher's, and an earlier version's leftovers, under names like the working files'.
    const QStringList lookAlikes{".notes.ABC123.part",
                                 ".plan.copy-abc123.part",
                                 ".photo.png.Xy12Zw.part",
                                 ".Lesson.slides-abc123/draft.txt",
                                 ".deck.slides-Ab12Cd.part/deck.001.png",
                                 "photo.png",
                                 ".hidden.png"};
    for (const QString& name : lookAlikes) {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path()));
        write(dir.filePath(name));
    }

    const QStringList removed = removeAbandonedWorkingEntries(records.path());
    EXPECT_EQ(QSet<QString>(removed.begin(), removed.end()), QSet<QString>(killed.begin(), killed.end()))
        << removed.join(", ").toStdString();
    for (const QString& path : killed) EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    for (const QString& name : lookAlikes)
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(name))) << name.toStdString();
    EXPECT_TRUE(QFileInfo::exists(held->path));
    EXPECT_TRUE(QFileInfo::exists(heldFolder->path));
    EXPECT_TRUE(QFileInfo(linked[0]).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath("keep.png")));
    QFile mine(replaced[0]);
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    EXPECT_EQ(mine.readAll(), "the teacher's");
    // The running program's records stay; the others are done with.
    EXPECT_EQ(recordsIn(records.path()).size(), 2);
}

// A GIF is written wherever the teacher asked: a record leads the next start to a working file that
// a killed export left there, and only to such a file; the record of an earlier version (the path
// alone) too.
TEST(WorkingFiles, RecordsLeadToAbandonedFilesOnly) {
    QTemporaryDir records, target;
    const QStringList killed{leftByAKilledRun(target.path(), "export.gif", "export", records.path())};
    ASSERT_FALSE(killed[0].isEmpty());
    // An earlier version's record of an export it was killed in.
    const QString earlier = target.filePath(workingName("old.gif", "export"));
    write(earlier);
    write(records.filePath("earlier.note"), QFile::encodeName(earlier));
    // Records naming what is no working file, or a link, lead nowhere.
    write(target.filePath("teacher.gif"));
    write(records.filePath("a.note"), QFile::encodeName(target.filePath("teacher.gif")));
    const QString linkName = target.filePath(workingName("x.gif", "export"));
    ASSERT_TRUE(QFile::link(target.filePath("teacher.gif"), linkName));
    write(records.filePath("b.note"), QByteArray("working entry\0", 14) + QFile::encodeName(linkName) + '\0');
    // A record of another kind is another maker's to follow.
    write(records.filePath("c.note"),
          QByteArray("movie\0", 6) + QFile::encodeName(target.filePath("teacher.gif")) + '\0');

    const QStringList removed = removeAbandonedWorkingEntries(records.path());
    EXPECT_EQ(QSet<QString>(removed.begin(), removed.end()), (QSet<QString>{killed[0], earlier}));
    EXPECT_FALSE(QFileInfo::exists(killed[0]));
    EXPECT_TRUE(QFileInfo::exists(target.filePath("teacher.gif")));
    EXPECT_TRUE(QFileInfo(linkName).isSymLink());
    EXPECT_EQ(recordsIn(records.path()), QStringList{"c.note"});
}

// The record is written before the working file exists and names it once it does, so that a kill
// at any instant leaves nothing of the program's unrecorded; it goes with the working file.
TEST(WorkingFiles, TheRecordNamesTheFileFromBeforeItExistsUntilItIsGone) {
    QTemporaryDir dir, records;
    QString error;
    std::optional<WorkingFile> file = createWorkingFile(dir.path(), "a.png", "copy", &error, records.path());
    ASSERT_TRUE(file) << error.toStdString();
    const auto& fields = file->record.fields();
    ASSERT_GE(fields.size(), 4u);
    EXPECT_EQ(fields[0], "working entry");
    EXPECT_EQ(QFile::decodeName(QByteArray::fromStdString(fields[1])),
              QFileInfo(file->path).absoluteFilePath());
    EXPECT_EQ(qv::util::recordValue(fields, "made"),
              qv::util::identityOf(QFile::encodeName(file->path).toStdString()));
    EXPECT_EQ(recordsIn(records.path()).size(), 1);
    const QString path = file->path;
    {
        const std::optional<WorkingFile> owner = std::move(file);
        Discard discard(path);  // the file goes first, as its makers keep it
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(recordsIn(records.path()).isEmpty());
}

}  // namespace
