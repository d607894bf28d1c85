#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QUrl>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "library/files/Leftovers.h"
#include "library/files/SlideConverter.h"
#include "support/KilledChild.h"
#include "support/Processes.h"
#include "support/ScopedEnv.h"

using namespace qv::library;
using qv::test::processGone;
using qv::test::readPid;

namespace {

// A stand-in for LibreOffice: a script that answers like it (the PDF it writes, or none, or no
// end at all). It keeps the arguments it was started with in "args", one a line, its TMPDIR in
// "tmpdir" and a copy of the document it was given in "document". Like LibreOffice, it first puts
// its lock file ".~lock.<name>#" beside the document, and fails as LibreOffice does where that
// name is too long. The real program runs in the panel's import test.
class FakeOffice {
public:
    explicit FakeOffice(const QString& body) {
        path_ = dir_.filePath("soffice");
        QFile f(path_);
        f.open(QIODevice::WriteOnly);
        // Arguments: ... --outdir DIR DOCUMENT
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\n");
        f.write("for a; do case \"$prev\" in --outdir) out=$a;; esac; prev=$a; doc=$a; done\n");
        f.write(
            "here=$(dirname \"$0\"); printf '%s' \"$TMPDIR\" > \"$here/tmpdir\"; cp \"$doc\" "
            "\"$here/document\"\n");
        f.write(
            "lock=\"$(dirname \"$doc\")/.~lock.$(basename \"$doc\")#\"\n"
            "if ! : > \"$lock\" 2>/dev/null; then echo \"Error: source file could not be loaded\"; exit 1; "
            "fi\n"
            "rm -f \"$lock\"\n");
        f.write(body.toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString path() const { return path_; }
    QString dir() const { return dir_.path(); }
    QString read(const QString& name) const {
        QFile f(dir_.filePath(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QStringList arguments() const {
        QFile f(dir_.filePath("args"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir dir_;
    QString path_;
};

// A landscape PDF of `pages` pages, page i filled with a colour of its own.
void writePdf(const QString& path, int pages) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QSizeF(254, 142.875), QPageSize::Millimeter));
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i) writer.newPage();
        p.fillRect(QRect(0, 0, 100, 100), i == 0 ? Qt::red : Qt::blue);
    }
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// What LibreOffice is started with: a private profile, headless, a PDF into a folder of the
// conversion's own, and a copy of the document under a short name in that folder, as one argument
// whatever the document's name holds; its temporary files go into that folder too, which goes with
// the conversion.
TEST(SlideConverter, LibreOfficeGetsAListWithAPrivateProfile) {
    QTemporaryDir work, temp;
    const qv::test::ScopedEnv tmp("TMPDIR", temp.path().toUtf8());
    const QString pdf = work.filePath("pages.pdf");
    writePdf(pdf, 1);
    const QString document = work.filePath("My talk; rm -rf $HOME.pptx");
    QFile doc(document);
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.write("the talk");
    doc.close();
    FakeOffice office(QString("cp '%1' \"$out/deck.pdf\"\n").arg(pdf));
    SlideConverter converter(office.path(), 60000);
    const ConversionResult r = converter.convert(document, work.path());
    ASSERT_TRUE(r.ok) << r.error.toStdString();

    const QStringList args = office.arguments();
    ASSERT_EQ(args.size(), 9) << args.join(" | ").toStdString();
    const QString profile = QUrl(args[0].section('=', 1)).toLocalFile();
    EXPECT_TRUE(args[0].startsWith("-env:UserInstallation=file:///")) << args[0].toStdString();
    EXPECT_EQ(QFileInfo(profile).path(), temp.path());
    EXPECT_TRUE(QFileInfo(profile).isDir()) << profile.toStdString();  // kept for the next conversion
    EXPECT_EQ(args.mid(1, 5), (QStringList{"--headless", "--norestore", "--nologo", "--convert-to", "pdf"}));
    EXPECT_EQ(args[6], "--outdir");
    const QString run = QFileInfo(args[7]).path();
    EXPECT_EQ(QFileInfo(run).path(), temp.path());
    EXPECT_EQ(args[8], run + "/document.pptx");
    EXPECT_EQ(office.read("document"), "the talk");
    EXPECT_EQ(office.read("tmpdir"), run + "/tmp");
    EXPECT_FALSE(QFileInfo::exists(run));  // gone with the conversion
    EXPECT_EQ(SlideConverter::slideName("deck", 0), "deck.001.png");
    EXPECT_EQ(SlideConverter::slideName("deck", 11), "deck.012.png");
}

// The slides' folder is named after the document: a name that leaves nothing for it, or no room
// for the slides' names, is refused in the program's own words, whatever LibreOffice would write,
// and the library (and the folder above it) are left as they were; a hidden name gives a hidden
// folder of its own, and a name as long as the slides' names allow converts, though LibreOffice's
// lock file would not fit beside the document.
TEST(SlideConverter, NamesThatLeaveNoFolderAreRefusedHiddenAndLongNamesConvert) {
    const struct {
        QString document;
        const char* office;  // what the stand-in writes into its output folder
        const char* folder;  // the slides' folder, or none when refused
    } cases[] = {
        {"..pptx", "slides.pdf", nullptr},
        {"...pptx", "slides.pdf", nullptr},
        {".pptx", "slides.pdf", nullptr},
        // 250 bytes of name: no room for ".001.png"
        {QString(125, QChar(0x0416)) + ".pptx", "slides.pdf", nullptr},
        {QString(248, 'c') + ".ppt", "slides.pdf", nullptr},
        {".lesson.pptx", "$(basename \"${doc%.*}\").pdf", ".lesson"},
        {QString(247, 'a') + ".ppt", "$(basename \"${doc%.*}\").pdf", "247"},
        {QString(244, 'b') + ".pptx", "slides.pdf", "244"},
        {QString(123, QChar(0x0416)) + "a.key", "slides.pdf", "247"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document.toStdString());
        const QString& document = c.document;
        QTemporaryDir work;
        QDir(work.path()).mkpath("save/images");
        QDir(work.path()).mkpath("save/library/kept");
        const QString lib = work.filePath("save/library");
        writePdf(work.filePath("pages.pdf"), 2);
        QFile(work.filePath("save/images/snapshot.png")).open(QIODevice::WriteOnly);
        QFile(lib + "/photo.png").open(QIODevice::WriteOnly);
        QFile(work.filePath(document)).open(QIODevice::WriteOnly);
        FakeOffice office(QString("cp '%1' \"$out/%2\"\n").arg(work.filePath("pages.pdf"), c.office));

        SlideConverter converter(office.path(), 60000);
        const ConversionResult r = converter.convert(work.filePath(document), lib);
        EXPECT_TRUE(QFileInfo::exists(work.filePath("save/images/snapshot.png")));
        EXPECT_TRUE(QFileInfo::exists(lib + "/photo.png"));
        EXPECT_TRUE(QFileInfo(lib + "/kept").isDir());
        if (!c.folder) {
            EXPECT_FALSE(r.ok);
            EXPECT_TRUE(r.error.startsWith(document + " was not imported")) << r.error.toStdString();
            EXPECT_TRUE(r.error.contains("Rename")) << r.error.toStdString();
            EXPECT_TRUE(office.arguments().isEmpty());  // LibreOffice was not even started
            EXPECT_EQ(entries(lib), (QStringList{"kept", "photo.png"}));
        } else {
            ASSERT_TRUE(r.ok) << r.error.toStdString();
            const QString base = QFileInfo(document).completeBaseName();
            if (c.folder[0] != '.') EXPECT_EQ(QFile::encodeName(base).size(), QByteArray(c.folder).toInt());
            EXPECT_EQ(r.folder, lib + "/" + base);
            EXPECT_EQ(entries(r.folder), (QStringList{base + ".001.png", base + ".002.png"}));
            QStringList all{base, "kept", "photo.png"};
            all.sort();
            EXPECT_EQ(entries(lib), all);
        }
    }
}

TEST(SlideConverter, EveryPageBecomesANumberedSlideWithProgress) {
    QTemporaryDir work;
    QDir(work.path()).mkpath("library");
    const QString lib = work.filePath("library");
    const QString pdf = work.filePath("pages.pdf");
    writePdf(pdf, 3);
    FakeOffice office(QString("cp '%1' \"$out/$(basename \"${doc%.*}\").pdf\"\n").arg(pdf));
    QFile(work.filePath("talk.v2.key")).open(QIODevice::WriteOnly);

    SlideConverter converter(office.path(), 60000);
    std::vector<std::pair<int, int>> progress;
    const ConversionResult r =
        converter.convert(work.filePath("talk.v2.key"), lib, [&](int done, int total) { progress.emplace_back(done, total); });
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.folder, lib + "/talk.v2");
    EXPECT_EQ(r.slides, 3);
    EXPECT_EQ(entries(lib + "/talk.v2"), (QStringList{"talk.v2.001.png", "talk.v2.002.png", "talk.v2.003.png"}));
    const QImage first(lib + "/talk.v2/talk.v2.001.png");
    EXPECT_EQ(first.width(), 1920);
    EXPECT_EQ(first.pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(QImage(lib + "/talk.v2/talk.v2.002.png").pixelColor(10, 10), QColor(Qt::blue));
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 0}, {1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(entries(lib), QStringList{"talk.v2"});  // no staging folder left

    // Imported again with fewer slides: the folder holds only the new slides.
    writePdf(pdf, 1);
    const ConversionResult again = converter.convert(work.filePath("talk.v2.key"), lib);
    ASSERT_TRUE(again.ok) << again.error.toStdString();
    EXPECT_EQ(entries(lib + "/talk.v2"), QStringList{"talk.v2.001.png"});
}

struct FailureCase {
    const char* what;
    const char* script;
    int timeoutMs;
    const char* errorHas;
};

TEST(SlideConverter, FailuresSaySoAndLeaveNoHalfWrittenSlides) {
    const FailureCase cases[] = {
        {"no PDF written", "echo 'Error: source file could not be loaded'\nexit 0\n", 60000, "could not convert"},
        {"crash", "kill -SEGV $$\n", 60000, "could not convert"},
        {"a PDF that is not one", "echo broken > \"$out/deck.pdf\"\n", 60000, "could not be read"},
        {"timeout", "exec sleep 30\n", 1500, "did not finish"},
    };
    for (const FailureCase& c : cases) {
        QTemporaryDir work;
        QDir(work.path()).mkpath("library/deck");
        const QString lib = work.filePath("library");
        QFile old(lib + "/deck/deck.001.png");
        old.open(QIODevice::WriteOnly);
        old.write("earlier slide");
        old.close();
        QFile(work.filePath("deck.pptx")).open(QIODevice::WriteOnly);

        FakeOffice office(c.script);
        SlideConverter converter(office.path(), c.timeoutMs);
        const ConversionResult r = converter.convert(work.filePath("deck.pptx"), lib);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_TRUE(r.error.contains(c.errorHas)) << c.what << ": " << r.error.toStdString();
        // The earlier import is untouched and nothing half-made is left beside it.
        EXPECT_EQ(entries(lib), QStringList{"deck"}) << c.what;
        EXPECT_EQ(entries(lib + "/deck"), QStringList{"deck.001.png"}) << c.what;
    }
}

bool eventually(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QThread::msleep(20);
    }
    return true;
}

// LibreOffice's launcher starts the office program and waits for it, as soffice does soffice.bin.
// A stalled one is stopped whole: on its time-out, and when the converter is cancelled as the
// program quits; nothing of the conversion is left in the temporary folder or the library, not
// even the temporary folder ("lu*.tmp") LibreOffice makes for itself in TMPDIR.
TEST(SlideConverter, AStalledLibreOfficeIsStoppedWithItsChild) {
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "time-out");
        QTemporaryDir work, temp;
        QDir(work.path()).mkpath("library");
        QFile(work.filePath("deck.pptx")).open(QIODevice::WriteOnly);
        FakeOffice office(QString("own=\"${TMPDIR:-/tmp}/lu$$.tmp\"; mkdir \"$own\"; echo \"$own\" > '%3'\n"
                                  "sleep 1000 &\necho $! > '%1'\necho $$ > '%2'\nwait\n")
                              .arg(work.filePath("child"), work.filePath("launcher"), work.filePath("own")));
        const qv::test::ScopedEnv tmp("TMPDIR", temp.path().toUtf8());
        {
            SlideConverter converter(office.path(), quit ? 600000 : 3000);
            ConversionResult r;
            std::thread worker([&] { r = converter.convert(work.filePath("deck.pptx"), work.filePath("library")); });
            ASSERT_TRUE(eventually([&] { return readPid(work.filePath("child")) > 0; }, 30000));
            if (quit) converter.cancel();
            worker.join();
            EXPECT_FALSE(r.ok);
            EXPECT_TRUE(r.error.contains(quit ? "was stopped" : "did not finish")) << r.error.toStdString();
            for (const char* which : {"child", "launcher"}) {
                const qint64 pid = readPid(work.filePath(which));
                EXPECT_TRUE(eventually([&] { return processGone(pid); }, 5000)) << which << " " << pid;
                if (!processGone(pid)) ::kill(pid_t(pid), SIGKILL);  // not left behind by a failure
            }
            EXPECT_TRUE(entries(work.filePath("library")).isEmpty());
            QFile ownFile(work.filePath("own"));
            ASSERT_TRUE(ownFile.open(QIODevice::ReadOnly));
            const QString own = QString::fromUtf8(ownFile.readAll()).trimmed();
            ASSERT_TRUE(own.endsWith(".tmp")) << own.toStdString();
            EXPECT_FALSE(QFileInfo::exists(own)) << own.toStdString();
        }
        EXPECT_TRUE(entries(temp.path()).isEmpty()) << entries(temp.path()).join(", ").toStdString();
    }
}

// LibreOffice's own temporary folders ("lu*.tmp") below `folder`.
QStringList officeTemporaryFolders(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, {"lu*.tmp"}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) found << it.next();
    return found;
}

// The real LibreOffice, with a temporary folder and a records folder of the test's own.
class RealLibreOffice : public testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("soffice").isEmpty())
            GTEST_SKIP() << "LibreOffice is not installed";
        QDir(work.path()).mkpath("library");
    }
    QTemporaryDir work, temp, data;
    const qv::test::ScopedEnv tmp{"TMPDIR", temp.path().toUtf8()};
    const qv::test::ScopedEnv dataHome{"XDG_DATA_HOME", data.path().toUtf8()};
};

// LibreOffice makes a temporary folder of its own in TMPDIR as it starts, and leaves it when it is
// stopped: it makes it in the conversion's folder, which goes with the conversion.
TEST_F(RealLibreOffice, AStoppedOneLeavesNoTemporaryFolderBehind) {
    QFile deck(work.filePath("deck.pptx"));
    ASSERT_TRUE(deck.open(QIODevice::WriteOnly));
    deck.write("not much of a presentation");
    deck.close();
    {
        SlideConverter converter("soffice", 600000);
        ConversionResult r;
        std::thread worker(
            [&] { r = converter.convert(work.filePath("deck.pptx"), work.filePath("library")); });
        QStringList seen;
        const bool started =
            eventually([&] { return !(seen = officeTemporaryFolders(temp.path())).isEmpty(); }, 60000);
        converter.cancel();
        worker.join();
        ASSERT_TRUE(started) << "LibreOffice made no temporary folder of its own in 60 s";
        // Not in the temporary folder everyone shares.
        EXPECT_FALSE(seen[0].startsWith(temp.path() + "/lu")) << seen[0].toStdString();
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(officeTemporaryFolders(temp.path()).isEmpty())
            << officeTemporaryFolders(temp.path()).join(", ").toStdString();
        EXPECT_TRUE(entries(work.filePath("library")).isEmpty());
    }
    EXPECT_TRUE(entries(temp.path()).isEmpty()) << entries(temp.path()).join(", ").toStdString();
}

// Given a presentation whose name leaves no room beside it for LibreOffice's lock file (247 bytes
// before the type), the slides are made, and named after the document.
TEST_F(RealLibreOffice, APresentationWithA247ByteNameConverts) {
    const QString base = "Lesson " + QString(120, QChar(0x0416));  // 7 + 240 bytes
    ASSERT_EQ(QFile::encodeName(base).size(), 247);
    QFile deck(work.filePath(base + ".fodp"));  // LibreOffice's flat presentation: one slide
    ASSERT_TRUE(deck.open(QIODevice::WriteOnly));
    deck.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:body><office:presentation><draw:page draw:name="One"/></office:presentation></office:body>
</office:document>
)");
    deck.close();
    SlideConverter converter("soffice", 300000);
    const ConversionResult r = converter.convert(deck.fileName(), work.filePath("library"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.folder, work.filePath("library/" + base));
    EXPECT_EQ(entries(r.folder), QStringList{base + ".001.png"});
    EXPECT_FALSE(QImage(r.folder + "/" + base + ".001.png").isNull());
}

// Starts `arguments` on its own, as the leader of a new group (setsid), with `environment` added.
qint64 startInGroupOfItsOwn(const QStringList& arguments, const QStringList& environment = {}) {
    QProcess p;
    p.setProgram("setsid");
    p.setArguments(arguments);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& e : environment) env.insert(e.section('=', 0, 0), e.section('=', 1));
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    return p.startDetached(&pid) ? pid : 0;
}

// What a killed run left in the temporary folder goes at the next start, with the LibreOffice still
// working there and what it started, and nothing else: a LibreOffice of an earlier version ran in
// the group of whatever started the program, whose other processes live on; one this version
// started leads a group of its own, which goes whole (also what left its tree). A running
// converter's folders stay, and so do a folder no record names and a process that names only a
// longer name.
TEST(SlideConverter, AKilledRunsFoldersGoWithTheLibreOfficeWorkingThereAndNothingElse) {
    QTemporaryDir temp, data, pids;
    // The stand-in: a child, and a grandchild that leaves its tree at once.
    FakeOffice office(
        QString("sleep 1000 & echo $! > \"$PIDS/child\"\n"
                "(sleep 1000 & echo $! > \"$PIDS/orphan\")\n"
                "echo $$ > \"$PIDS/office\"\nwait\n"));
    const qv::test::ScopedEnv tmp("TMPDIR", temp.path().toUtf8()),
        dataHome("XDG_DATA_HOME", data.path().toUtf8());
    const QStringList abandoned = qv::test::runAndKill([](const qv::test::KillNow& killNow) {
        QString error;
        const auto profile = createWorkingFolder(QDir::tempPath(), kOfficeFolderName, "profile", &error);
        const auto run = createWorkingFolder(QDir::tempPath(), kOfficeFolderName, "run", &error);
        if (profile && run) killNow({profile->path, run->path});
    });
    ASSERT_EQ(abandoned.size(), 2);
    const SlideConverter running;                                              // its profile is held
    ASSERT_TRUE(QDir().mkpath(temp.filePath("quorvane-office-aB3dE9/user")));  // an earlier version's

    const auto url = [](const QString& path) { return QUrl::fromLocalFile(path).toString(); };
    QDir(pids.path()).mkpath("shared");
    QDir(pids.path()).mkpath("own");
    // An earlier version's LibreOffice in the group of a shell that also runs another program. The
    // shell's own command line names no folder.
    const qint64 shell =
        startInGroupOfItsOwn({"sh", "-c",
                              "sleep 1000 & echo $! > \"$PIDS/other\"; \"$OFFICE\" "
                              "\"-env:UserInstallation=$URL\" --headless --outdir \"$OUT\" & wait"},
                             {"PIDS=" + pids.filePath("shared"), "OFFICE=" + office.path(),
                              "URL=" + url(abandoned[1]), "OUT=" + abandoned[1] + "/pdf"});
    // This version's, leading a group of its own, on the profile.
    const qint64 leader = startInGroupOfItsOwn({office.path(), "-env:UserInstallation=" + url(abandoned[0]),
                                                "--headless", "--outdir", abandoned[1] + "/pdf"},
                                               {"PIDS=" + pids.filePath("own")});
    // Someone's process that names a longer name.
    const qint64 bystander = startInGroupOfItsOwn({"sh", "-c", "sleep 1000", "sh", abandoned[0] + "-other"});
    ASSERT_TRUE(shell && leader && bystander);
    const auto stopAll = qScopeGuard([&] {  // whatever the outcome
        for (const qint64 group : {shell, leader, bystander}) ::kill(-pid_t(group), SIGKILL);
        for (const char* which : {"shared/orphan", "own/orphan"})
            ::kill(pid_t(readPid(pids.filePath(which))), SIGKILL);
    });
    const QStringList started{"shared/other", "shared/office", "shared/child", "shared/orphan",
                              "own/office",   "own/child",     "own/orphan"};
    ASSERT_TRUE(eventually(
        [&] {
            for (const QString& which : started)
                if (readPid(pids.filePath(which)) <= 0) return false;
            return true;
        },
        20000));
    const auto pid = [&](const char* which) { return readPid(pids.filePath(which)); };

    const QStringList removed = removeLeftoversOfEarlierRuns();
    EXPECT_EQ(QSet<QString>(removed.begin(), removed.end()),
              QSet<QString>(abandoned.begin(), abandoned.end()));
    for (const char* which : {"shared/office", "shared/child", "own/office", "own/child", "own/orphan"})
        EXPECT_TRUE(eventually([&] { return processGone(pid(which)); }, 5000)) << which << " still runs";
    EXPECT_EQ(pid("own/office"), leader);
    for (const qint64 alive : {shell, pid("shared/other"), bystander})
        EXPECT_FALSE(processGone(alive)) << alive << " was stopped";
    const QStringList left = entries(temp.path());
    ASSERT_EQ(left.size(), 2) << left.join(", ").toStdString();
    EXPECT_TRUE(left[0].startsWith("." + kOfficeFolderName + ".profile-"))
        << left[0].toStdString();  // the running one's
    EXPECT_EQ(left[1], "quorvane-office-aB3dE9");
}

TEST(SlideConverter, AMissingProgramSaysSo) {
    QTemporaryDir work;
    QFile(work.filePath("deck.ppt")).open(QIODevice::WriteOnly);
    SlideConverter converter(work.filePath("no-such-office"), 5000);
    const ConversionResult r = converter.convert(work.filePath("deck.ppt"), work.path());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("could not be started")) << r.error.toStdString();
    EXPECT_EQ(entries(work.path()), QStringList{"deck.ppt"});
}

}  // namespace
