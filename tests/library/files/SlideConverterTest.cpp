#include <gtest/gtest.h>

#include <QDir>
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
#include <QScopeGuard>
#include <QSet>
#include <QThread>

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "library/files/SlideConverter.h"
#include "support/Processes.h"
#include "support/ScopedEnv.h"

using namespace qv::library;
using qv::test::processGone;
using qv::test::readPid;

namespace {

// A stand-in for LibreOffice: a script that answers like it (the PDF it writes, or none, or no
// end at all). It keeps the arguments it was started with in "args", one a line. The real program
// runs in the panel's import test.
class FakeOffice {
public:
    explicit FakeOffice(const QString& body) {
        path_ = dir_.filePath("soffice");
        QFile f(path_);
        f.open(QIODevice::WriteOnly);
        // Arguments: ... --outdir DIR DOCUMENT
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\n");
        f.write("for a; do case \"$prev\" in --outdir) out=$a;; esac; prev=$a; doc=$a; done\n");
        f.write(body.toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString path() const { return path_; }
    QString dir() const { return dir_.path(); }
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
// converter's own, and the document as one argument whatever its name holds.
TEST(SlideConverter, LibreOfficeGetsAListWithAPrivateProfile) {
    QTemporaryDir work;
    const QString pdf = work.filePath("pages.pdf");
    writePdf(pdf, 1);
    const QString document = work.filePath("My talk; rm -rf $HOME.pptx");
    QFile(document).open(QIODevice::WriteOnly);
    FakeOffice office(QString("cp '%1' \"$out/deck.pdf\"\n").arg(pdf));
    SlideConverter converter(office.path(), 60000);
    const ConversionResult r = converter.convert(document, work.path());
    ASSERT_TRUE(r.ok) << r.error.toStdString();

    const QStringList args = office.arguments();
    ASSERT_EQ(args.size(), 9) << args.join(" | ").toStdString();
    const QString profile = QUrl(args[0].section('=', 1)).toLocalFile();
    EXPECT_TRUE(args[0].startsWith("-env:UserInstallation=file:///")) << args[0].toStdString();
    EXPECT_TRUE(QFileInfo(profile).fileName().startsWith(kOfficeProfilePrefix)) << profile.toStdString();
    EXPECT_EQ(args.mid(1, 5), (QStringList{"--headless", "--norestore", "--nologo", "--convert-to", "pdf"}));
    EXPECT_EQ(args[6], "--outdir");
    EXPECT_TRUE(QFileInfo(args[7]).fileName().startsWith(kOfficePdfPrefix)) << args[7].toStdString();
    EXPECT_FALSE(QFileInfo::exists(args[7]));  // gone with the conversion
    EXPECT_EQ(args[8], document);  // one argument, untouched
    EXPECT_EQ(SlideConverter::slideName("deck", 0), "deck.001.png");
    EXPECT_EQ(SlideConverter::slideName("deck", 11), "deck.012.png");
}

// The slides' folder is named after the document: a name that leaves nothing for it is refused,
// whatever LibreOffice would write, and the library (and the folder above it) are left as they were;
// a hidden name gives a hidden folder of its own.
TEST(SlideConverter, NamesThatLeaveNoFolderAreRefusedHiddenNamesConvert) {
    const struct {
        QString document;
        const char* office;  // what the stand-in writes into its output folder
        const char* folder;  // the slides' folder, or none when refused
    } cases[] = {
        {"..pptx", "slides.pdf", nullptr},
        {"...pptx", "slides.pdf", nullptr},
        {".pptx", "slides.pdf", nullptr},
        {QString(125, QChar(0x0416)) + ".pptx", "slides.pdf", nullptr},  // 250 bytes of name: no room for ".001.png"
        {".lesson.pptx", "$(basename \"${doc%.*}\").pdf", ".lesson"},
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
            EXPECT_EQ(r.folder, lib + "/" + c.folder);
            EXPECT_EQ(entries(r.folder), (QStringList{".lesson.001.png", ".lesson.002.png"}));
            EXPECT_EQ(entries(lib), (QStringList{".lesson", "kept", "photo.png"}));
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
// program quits; nothing of the conversion is left in the temporary folder or the library.
TEST(SlideConverter, AStalledLibreOfficeIsStoppedWithItsChild) {
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "time-out");
        QTemporaryDir work, temp;
        QDir(work.path()).mkpath("library");
        QFile(work.filePath("deck.pptx")).open(QIODevice::WriteOnly);
        FakeOffice office(QString("sleep 1000 &\necho $! > '%1'\necho $$ > '%2'\nwait\n")
                              .arg(work.filePath("child"), work.filePath("launcher")));
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
        }
        EXPECT_TRUE(entries(temp.path()).isEmpty()) << entries(temp.path()).join(", ").toStdString();
    }
}

// What a killed run left in the temporary folder goes at the next start, with the LibreOffice it
// had left working there; a running converter's folders stay, and so does anything else.
TEST(SlideConverter, FoldersOfAKilledRunAreRemovedWithTheirLibreOffice) {
    QTemporaryDir temp;
    const QString abandoned = temp.filePath(kOfficeProfilePrefix + "aB3dE9");
    const QString abandonedPdf = temp.filePath(kOfficePdfPrefix + "Zx81Qq");
    for (const QString& d : {abandoned, abandonedPdf, temp.filePath(kOfficeProfilePrefix + "inuse1"),
                             temp.filePath("quorvane-other"), temp.filePath(kOfficeProfilePrefix + "toolongname")})
        ASSERT_TRUE(QDir().mkpath(d + "/user"));
    const WorkingLock inUse(temp.filePath(kOfficeProfilePrefix + "inuse1"));
    ASSERT_TRUE(inUse.held());
    // A LibreOffice of the killed run: a group of its own, with a child, working on the profile.
    const QString childFile = temp.filePath("child");
    QProcess stray;
    stray.setProgram("setsid");
    stray.setArguments({"sh", "-c", "sleep 1000 & echo $! > \"$1\"; wait", "sh", childFile,
                        "-env:UserInstallation=" + QUrl::fromLocalFile(abandoned).toString()});
    stray.setStandardOutputFile(QProcess::nullDevice());
    stray.setStandardErrorFile(QProcess::nullDevice());
    qint64 leader = 0;
    ASSERT_TRUE(stray.startDetached(&leader));
    const auto stopStray = qScopeGuard([&] { ::kill(-pid_t(leader), SIGKILL); });  // whatever the outcome
    ASSERT_TRUE(eventually([&] { return readPid(childFile) > 0; }, 10000));
    const qint64 child = readPid(childFile);

    const QStringList removed = removeAbandonedOfficeFolders(temp.path());
    EXPECT_EQ(QSet<QString>(removed.begin(), removed.end()),
              (QSet<QString>{QFileInfo(abandoned).fileName(), QFileInfo(abandonedPdf).fileName()}));
    EXPECT_TRUE(eventually([&] { return processGone(leader) && processGone(child); }, 5000));
    EXPECT_EQ(entries(temp.path()), (QStringList{"child", kOfficeProfilePrefix + "inuse1",
                                                 kOfficeProfilePrefix + "toolongname", "quorvane-other"}));
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
