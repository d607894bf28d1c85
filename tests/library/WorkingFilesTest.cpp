#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "library/WorkingFiles.h"

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

// What a killed run left behind goes at the next start; what a running program holds stays, and so
// does everything that is not a working file of this program.
TEST(WorkingFiles, AbandonedOnesAreRemovedHeldOnesStay) {
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    QString error;
    const std::optional<WorkingFile> held = createWorkingFile(dir.path(), "live.png", "copy", &error);
    ASSERT_TRUE(held && held->lock.held()) << error.toStdString();
    const std::optional<WorkingFolder> heldFolder = createWorkingFolder(dir.path(), "live", "slides", &error);
    ASSERT_TRUE(heldFolder && heldFolder->lock.held()) << error.toStdString();
    QString abandonedFile, abandonedFolder;
    {
        const std::optional<WorkingFile> f = createWorkingFile(dir.path(), "killed.png", "copy", &error);
        const std::optional<WorkingFolder> d = createWorkingFolder(dir.path(), "killed", "slides", &error);
        ASSERT_TRUE(f && d);
        abandonedFile = f->path;
        abandonedFolder = d->path;
        write(abandonedFolder + "/killed.001.png");
    }  // the locks end as a killed process's would
    // A link under a working name, to a folder with a file in it: the link may go, its target stays.
    write(elsewhere.filePath("keep.png"));
    const QString link = dir.filePath(workingName("link", "slides"));
    ASSERT_TRUE(QFile::link(elsewhere.path(), link));
    write(dir.filePath("photo.png"));
    write(dir.filePath(".hidden.png"));
    // What an earlier version of the program left: a slides folder and a copy.
    ASSERT_TRUE(QDir(dir.path()).mkpath(".deck.slides-Ab12Cd"));
    write(dir.filePath(".deck.slides-Ab12Cd/deck.001.png"));
    write(dir.filePath(".photo.png.Xy12Zw.part"));

    const QStringList removed = removeAbandonedWorkingFiles(dir.path());
    EXPECT_EQ(removed.size(), 4) << removed.join(", ").toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(".deck.slides-Ab12Cd")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(".photo.png.Xy12Zw.part")));
    EXPECT_FALSE(QFileInfo::exists(abandonedFile));
    EXPECT_FALSE(QFileInfo::exists(abandonedFolder));
    EXPECT_TRUE(QFileInfo::exists(held->path));
    EXPECT_TRUE(QFileInfo::exists(heldFolder->path));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath("keep.png")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("photo.png")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(".hidden.png")));
}

// A GIF is written wherever the teacher asked: a note leads the next start to a working file that
// a killed export left there, and only to such a file.
TEST(WorkingFiles, NotesLeadToAbandonedFilesOnly) {
    QTemporaryDir notes, target;
    QString error;
    std::optional<WorkingFile> live = createWorkingFile(target.path(), "live.gif", "export", &error);
    ASSERT_TRUE(live);
    WorkingNote liveNote(notes.path(), live->path);
    ASSERT_TRUE(liveNote.kept());

    QString killed;
    {
        std::optional<WorkingFile> f = createWorkingFile(target.path(), "export.gif", "export", &error);
        ASSERT_TRUE(f);
        killed = f->path;
        const QStringList before = QDir(notes.path()).entryList({"*.note"}, QDir::Files);
        WorkingNote note(notes.path(), killed);
        ASSERT_TRUE(note.kept());
        // A killed run neither unlocks nor removes its note: keep a copy of it as that run would.
        for (const QString& n : QDir(notes.path()).entryList({"*.note"}, QDir::Files))
            if (!before.contains(n)) QFile::copy(notes.filePath(n), notes.filePath("killed-" + n));
    }
    // Notes naming what is no working file, or a link, lead nowhere.
    write(target.filePath("teacher.gif"));
    write(notes.filePath("a.note"), target.filePath("teacher.gif").toUtf8());
    const QString linkName = target.filePath(workingName("x.gif", "export"));
    ASSERT_TRUE(QFile::link(target.filePath("teacher.gif"), linkName));
    write(notes.filePath("b.note"), linkName.toUtf8());

    const QStringList removed = removeAbandonedNotedFiles(notes.path());
    EXPECT_EQ(removed, QStringList{killed});
    EXPECT_FALSE(QFileInfo::exists(killed));
    EXPECT_TRUE(QFileInfo::exists(live->path));
    EXPECT_TRUE(QFileInfo::exists(target.filePath("teacher.gif")));
    EXPECT_TRUE(QFileInfo(linkName).isSymLink());
    // The live export's note stays; the others are done with.
    EXPECT_EQ(QDir(notes.path()).entryList({"*.note"}, QDir::Files).size(), 1);
}

}  // namespace
