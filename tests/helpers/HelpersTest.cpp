#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>

#include "helpers/FolderListing.h"
#include "helpers/FormatDuration.h"
#include "helpers/ImageOps.h"
#include "helpers/Thumbnails.h"
#include "support/BigPhoto.h"
#include "support/BigPng.h"
#include "support/ProcessUsage.h"
#include "support/QtWait.h"

using namespace qv::app;

namespace {

void touch(const QString& path, qint64 secondsAgo) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.flush();
    const QDateTime when = QDateTime::currentDateTime().addSecs(-secondsAgo);
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

QStringList names(const QStringList& paths) {
    QStringList out;
    for (const QString& p : paths) out << QFileInfo(p).fileName();
    return out;
}

TEST(FolderListing, NewestFirstAcrossTwoFolders) {
    QTemporaryDir images, videos;
    touch(images.filePath("old.png"), 300);
    touch(images.filePath("new.png"), 10);
    touch(videos.filePath("mid.mp4"), 100);
    touch(images.filePath(".hidden"), 1);
    auto list = contentsOfDirectory(images.path(), videos.path(), FileDateKind::contentModificationDate, false);
    EXPECT_EQ(names(list), QStringList({"new.png", "mid.mp4", "old.png"}));
    auto ascending = contentsOfDirectory(images.path(), std::nullopt, FileDateKind::contentModificationDate, true);
    EXPECT_EQ(names(ascending), QStringList({"old.png", "new.png"}));
}

TEST(FolderListing, AMissingSecondFolderFailsTheWholeListing) {
    QTemporaryDir images;
    touch(images.filePath("a.png"), 1);
    EXPECT_THROW(contentsOfDirectory(images.path(), QString("/nonexistent/videos"),
                                     FileDateKind::contentModificationDate, false),
                 FolderListingError);
    EXPECT_THROW(contentsOfDirectory("/nonexistent/images", std::nullopt, FileDateKind::contentModificationDate, false),
                 FolderListingError);
}

TEST(FolderListing, EntriesWithoutADateSortAfterTheDatedOnesWithoutBreakingTheOrder) {
    // Creation dates are unknown on many file systems: the sort must stay a valid ordering.
    QTemporaryDir dir;
    for (int i = 0; i < 40; ++i) touch(dir.filePath(QString("f%1").arg(i, 2, 10, QChar('0'))), i * 10);
    auto list = contentsOfDirectory(dir.path(), std::nullopt, FileDateKind::creationDate, false);
    EXPECT_EQ(list.size(), 40);
    auto byModification = contentsOfDirectory(dir.path(), std::nullopt, FileDateKind::contentModificationDate, false);
    EXPECT_EQ(names(byModification).first(), "f00");
    EXPECT_EQ(names(byModification).last(), "f39");

    // Links to files that are gone have no date of their own: they come last, whichever the
    // direction, and the dated entries keep their order.
    for (const char* link : {"gone-a", "gone-b", "gone-c"})
        ASSERT_TRUE(QFile::link(dir.filePath(QString("missing-") + link), dir.filePath(link)));
    for (bool ascending : {false, true}) {
        SCOPED_TRACE(ascending ? "ascending" : "descending");
        const QStringList sorted =
            names(contentsOfDirectory(dir.path(), std::nullopt, FileDateKind::contentModificationDate, ascending));
        ASSERT_EQ(sorted.size(), 43);
        EXPECT_EQ(sorted.mid(40), (QStringList{"gone-a", "gone-b", "gone-c"}));
        EXPECT_EQ(sorted.first(), ascending ? "f39" : "f00");
        EXPECT_EQ(sorted[39], ascending ? "f00" : "f39");
    }
}

QImage marked(int w, int h) {
    // Red in the top-left corner, the rest blue.
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::blue);
    QPainter p(&img);
    p.fillRect(0, 0, 10, 10, Qt::red);
    return img;
}

TEST(Rotated, TurnsCounterClockwiseAndSwapsSidesAtNinety) {
    QImage src = marked(200, 100);
    struct Case {
        double degrees;
        QSize size;
        QPoint redAt;
    } cases[] = {
        // Counter-clockwise by 90: the top-left corner ends bottom-left.
        {90, {100, 200}, {5, 194}},
        {-90, {100, 200}, {94, 5}},
        {180, {200, 100}, {194, 94}},
        {90.9, {100, 200}, {5, 194}},
        {-270, {100, 200}, {5, 194}},
    };
    for (const auto& c : cases) {
        QImage out = rotated(src, c.degrees);
        EXPECT_EQ(out.size(), c.size) << c.degrees;
        EXPECT_EQ(QColor(out.pixel(c.redAt)), QColor(Qt::red)) << c.degrees;
    }
}

TEST(Rotated, MultiplesOfThreeSixtyGiveTheSameImage) {
    QImage src = marked(20, 10);
    for (double d : {0.0, 360.0, -720.0, 360.7, -0.4}) EXPECT_EQ(rotated(src, d).cacheKey(), src.cacheKey()) << d;
}

TEST(Inverted, InvertsColourAndKeepsAlpha) {
    QImage src(2, 1, QImage::Format_ARGB32);
    src.setPixel(0, 0, qRgba(10, 200, 30, 255));
    src.setPixel(1, 0, qRgba(255, 0, 0, 128));
    QImage out = inverted(src);
    EXPECT_EQ(out.pixel(0, 0), qRgba(245, 55, 225, 255));
    EXPECT_EQ(qAlpha(out.pixel(1, 0)), 128);
    EXPECT_EQ(qRed(out.pixel(1, 0)), 0);
    EXPECT_EQ(qGreen(out.pixel(1, 0)), 255);
    EXPECT_TRUE(inverted(QImage()).isNull());
}

TEST(FormatDuration, AroundOneHour) {
    struct Case {
        long long s;
        const char* text;
    } cases[] = {{0, "00:00"},       {75, "01:15"},          {3599, "59:59"},       {3600, "01:00:00"},
                 {3725, "01:02:05"}, {360000, "100:00:00"}, {-5, "00:00"}};
    for (const auto& c : cases) EXPECT_EQ(formatDuration(c.s), c.text) << c.s;
}

struct ThumbResult {
    std::mutex m;
    bool done = false;
    std::optional<QImage> image;
    std::optional<QString> error;
    bool onMainThread = false;
};

void runThumbnail(const QString& path, ThumbResult& r) {
    generateThumbnail(path, [&r](std::optional<QImage> image, std::optional<QString> error) {
        std::lock_guard lock(r.m);
        r.image = image;
        r.error = error;
        r.onMainThread = QThread::currentThread() == qApp->thread();
        r.done = true;
    });
    ASSERT_TRUE(qv::test::waitUntil([&] {
        std::lock_guard lock(r.m);
        return r.done;
    }, 20000));
}

TEST(Thumbnails, PictureIsFittedInto256By144OffTheMainThread) {
    QTemporaryDir dir;
    const QString path = dir.filePath("shot.png");
    marked(1920, 1080).save(path);
    ThumbResult r;
    runThumbnail(path, r);
    ASSERT_TRUE(r.image) << (r.error ? r.error->toStdString() : "");
    EXPECT_EQ(r.image->size(), QSize(256, 144));
    EXPECT_FALSE(r.onMainThread);
}

TEST(Thumbnails, APhoneSizedPhotoIsReadScaled) {
    QTemporaryDir dir;
    const QString path = dir.filePath("IMG_0001.jpg");
    ASSERT_TRUE(qv::test::writeBigPhoto(path));
    ThumbResult r;
    runThumbnail(path, r);
    ASSERT_TRUE(r.image) << (r.error ? r.error->toStdString() : "");
    EXPECT_EQ(r.image->size(), QSize(192, 144));
    const QColor left = r.image->pixelColor(20, 72), right = r.image->pixelColor(170, 72);
    EXPECT_GT(left.red(), 200);
    EXPECT_LT(left.blue(), 60);
    EXPECT_GT(right.blue(), 200);
    EXPECT_LT(right.red(), 60);
}

// 16-bit PNGs past Qt's limit on one image (a 16-bit 8000 x 6000 RGBA picture is 384 MB decoded):
// each gets its thumbnail, with its colours where they were, and reading it takes little memory.
TEST(Thumbnails, A16BitPngPastQtsImageLimitIsReadScaledInLittleMemory) {
    struct Case {
        const char* name;
        int width, height;
        qv::test::BigPngKind kind;
        QSize thumbnail;
    };
    const Case cases[] = {
        {"RGBA, 8000 x 6000", 8000, 6000, qv::test::BigPngKind::rgba16, QSize(192, 144)},
        {"grey with alpha, interlaced, 7000 x 3000", 7000, 3000, qv::test::BigPngKind::greyAlpha16Interlaced,
         QSize(256, 109)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("scan.png");
        ASSERT_TRUE(qv::test::writeBigPng(path, c.width, c.height, c.kind));
        qv::test::resetPeakResident();
        const double before = qv::test::statusMegabytes("VmRSS:");
        ThumbResult r;
        runThumbnail(path, r);
        const double grown = qv::test::statusMegabytes("VmHWM:") - before;
        ASSERT_TRUE(r.image) << (r.error ? r.error->toStdString() : "");
        EXPECT_EQ(r.image->size(), c.thumbnail);
        const int w = r.image->width(), h = r.image->height();
        const QColor left = r.image->pixelColor(w / 8, h / 2), right = r.image->pixelColor(w * 7 / 8, h / 2);
        EXPECT_EQ(left.alpha(), 255);
        EXPECT_EQ(right.alpha(), 255);
        if (c.kind == qv::test::BigPngKind::rgba16) {
            EXPECT_GT(left.red(), 240);
            EXPECT_LT(left.blue(), 15);
            EXPECT_GT(right.blue(), 240);
            EXPECT_LT(right.red(), 15);
        } else {
            EXPECT_LT(left.value(), 15);
            EXPECT_GT(right.value(), 240);
        }
        // Rows, not the picture: far below even one 8-bit copy of it.
        EXPECT_LT(grown, 48) << "MB";
    }
}

TEST(Thumbnails, FirstPageOfAPdf) {
    QTemporaryDir dir;
    const QString path = dir.filePath("doc.pdf");
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter p(&writer);
        p.fillRect(QRect(0, 0, writer.width(), writer.height()), Qt::green);
    }
    ThumbResult r;
    runThumbnail(path, r);
    ASSERT_TRUE(r.image) << (r.error ? r.error->toStdString() : "");
    EXPECT_LE(r.image->width(), 256);
    EXPECT_EQ(r.image->height(), 144);
    QColor c = r.image->pixelColor(r.image->width() / 2, r.image->height() / 2);
    EXPECT_GT(c.green(), 200);
    EXPECT_LT(c.red(), 60);
}

TEST(Thumbnails, FrameOfAShortMovie) {
    QTemporaryDir dir;
    const QString path = dir.filePath("movie.mp4");
    const int rc = QProcess::execute("gst-launch-1.0",
                                     {"-q", "videotestsrc", "num-buffers=15", "pattern=red", "!",
                                      "video/x-raw,width=640,height=360,framerate=15/1", "!", "x264enc", "!",
                                      "mp4mux", "!", "filesink", "location=" + path});
    ASSERT_EQ(rc, 0);
    ThumbResult r;
    runThumbnail(path, r);
    ASSERT_TRUE(r.image) << (r.error ? r.error->toStdString() : "");
    EXPECT_EQ(r.image->size(), QSize(256, 144));
    QColor c = r.image->pixelColor(128, 72);
    EXPECT_GT(c.red(), 200);
    EXPECT_LT(c.green(), 60);
}

TEST(Thumbnails, UnreadableFilesReportAnErrorAndNoImage) {
    QTemporaryDir dir;
    QFile junk(dir.filePath("junk.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    for (const QString& path : {junk.fileName(), dir.filePath("missing.png")}) {
        ThumbResult r;
        runThumbnail(path, r);
        EXPECT_FALSE(r.image) << path.toStdString();
        EXPECT_TRUE(r.error) << path.toStdString();
    }
}

TEST(ThumbnailCompletion, AnErrorOrNoRepresentationGivesNoImage) {
    std::optional<QImage> gotImage;
    std::optional<QString> gotError;
    auto keep = [&](std::optional<QImage> i, std::optional<QString> e) {
        gotImage = i;
        gotError = e;
    };
    thumbnailCompletion(QImage(4, 4, QImage::Format_RGB32), ThumbnailRepresentationType::lowQualityThumbnail,
                        QString("boom"), keep);
    EXPECT_FALSE(gotImage);
    EXPECT_EQ(gotError, QString("boom"));
    thumbnailCompletion(std::nullopt, ThumbnailRepresentationType::lowQualityThumbnail, std::nullopt, keep);
    EXPECT_FALSE(gotImage);
    EXPECT_FALSE(gotError);
    thumbnailCompletion(QImage(4, 4, QImage::Format_RGB32), ThumbnailRepresentationType::lowQualityThumbnail,
                        std::nullopt, keep);
    EXPECT_TRUE(gotImage);
    EXPECT_FALSE(gotError);
}

}  // namespace
