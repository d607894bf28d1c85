#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <atomic>
#include <vector>

#include "library/files/SlideConverter.h"

using namespace qv::library;

namespace {

// A stand-in for LibreOffice: a script that answers like it (the PDF it writes, or none, or no
// end at all). The real program runs in the panel's import test.
class FakeOffice {
public:
    explicit FakeOffice(const QString& body) {
        path_ = dir_.filePath("soffice");
        QFile f(path_);
        f.open(QIODevice::WriteOnly);
        // Arguments: ... --outdir DIR DOCUMENT
        f.write("#!/bin/sh\nfor a; do case \"$prev\" in --outdir) out=$a;; esac; prev=$a; doc=$a; done\n");
        f.write(body.toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString path() const { return path_; }
    QString dir() const { return dir_.path(); }

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

TEST(SlideConverter, ArgumentsAreAListWithAPrivateProfile) {
    SlideConverter converter("soffice");
    const QStringList args = converter.arguments("/home/t/My talk; rm -rf.pptx", "/tmp/out");
    ASSERT_GE(args.size(), 5);
    EXPECT_TRUE(args[0].startsWith("-env:UserInstallation=file:///")) << args[0].toStdString();
    EXPECT_TRUE(args.contains("--headless"));
    const int i = args.indexOf("--convert-to");
    ASSERT_GE(i, 0);
    EXPECT_EQ(args[i + 1], "pdf");
    EXPECT_EQ(args.last(), "/home/t/My talk; rm -rf.pptx");  // one argument, untouched
    EXPECT_EQ(SlideConverter::slideName("deck", 0), "deck.001.png");
    EXPECT_EQ(SlideConverter::slideName("deck", 11), "deck.012.png");
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
