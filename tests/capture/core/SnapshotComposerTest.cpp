#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "capture/core/SnapshotComposer.h"

using namespace qv::capture;

namespace {

QImage solid(int w, int h, QColor color) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

// Left half red, right half green.
std::shared_ptr<const QImage> halves(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::green);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x) image.setPixel(x, y, qRgb(255, 0, 0));
    return std::make_shared<const QImage>(image);
}

QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y); }

}  // namespace

TEST(SnapshotComposition, BitmapHasTheContainersTruncatedSize) {
    SnapshotLayers layers;
    layers.containerSize = QSizeF(640.75, 360.25);
    const QImage out = composeSnapshot(layers);
    EXPECT_EQ(out.size(), QSize(640, 360));
    layers.containerSize = QSizeF(0, 100);
    EXPECT_TRUE(composeSnapshot(layers).isNull());
    layers.containerSize = QSizeF(qQNaN(), 100);
    EXPECT_TRUE(composeSnapshot(layers).isNull());
}

TEST(SnapshotComposition, PhotoFittedIntoThePreviewFrameBoardOverIt) {
    SnapshotLayers layers;
    layers.containerSize = QSizeF(1280, 800);
    layers.photo = halves(1920, 1080);
    layers.previewFrame = QRectF(0, 0, 1280, 800);  // fitted: letterboxed 40 points top and bottom
    layers.boardImage = solid(100, 100, QColor(0, 0, 255));
    const QImage out = composeSnapshot(layers);
    ASSERT_EQ(out.size(), QSize(1280, 800));
    EXPECT_EQ(qAlpha(at(out, 640, 10)), 0);         // letterbox keeps the bitmap's initial contents
    EXPECT_EQ(at(out, 300, 400), qRgb(255, 0, 0));  // left half of the photo
    EXPECT_EQ(at(out, 1000, 400), qRgb(0, 255, 0));
    EXPECT_EQ(at(out, 50, 750), qRgb(0, 0, 255));  // board at the origin: the bottom-left corner
    EXPECT_EQ(qAlpha(at(out, 50, 20)), 0);
}

TEST(SnapshotComposition, ZoomedPreviewFramePlacesThePhoto) {
    SnapshotLayers layers;
    layers.containerSize = QSizeF(1280, 720);
    layers.photo = halves(1280, 720);
    layers.previewFrame = QRectF(-640, -360, 2560, 1440);  // zoom 2 about the centre
    const QImage out = composeSnapshot(layers);
    EXPECT_EQ(at(out, 10, 360), qRgb(255, 0, 0));
    EXPECT_EQ(at(out, 1270, 360), qRgb(0, 255, 0));
    EXPECT_EQ(at(out, 630, 360), qRgb(255, 0, 0));
    EXPECT_EQ(at(out, 650, 360), qRgb(0, 255, 0));
}

TEST(SnapshotComposition, RotationTurnsThePhotoAsTheMirrorDecides) {
    struct Case {
        double rotation;
        bool mirrored;
        QRgb top, bottom;
    } cases[] = {
        {90, false, qRgb(255, 0, 0), qRgb(0, 255, 0)},  // turned -90: clockwise, left half on top
        {90, true, qRgb(0, 255, 0), qRgb(255, 0, 0)},   // turned +90: counter-clockwise
        {-90, false, qRgb(0, 255, 0), qRgb(255, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        SnapshotLayers layers;
        layers.containerSize = QSizeF(1280, 720);
        layers.photo = halves(1280, 720);
        layers.rotation = c.rotation;
        layers.mirrorHorizontal = c.mirrored;
        // A quarter turn gives the preview a frame of swapped size; the upright photo is fitted into
        // that frame transposed back: 405 x 720 in the middle of the container.
        layers.previewFrame = QRectF(0, 0, 720, 1280);
        const QImage out = composeSnapshot(layers);
        EXPECT_EQ(at(out, 640, 100), c.top);
        EXPECT_EQ(at(out, 640, 620), c.bottom);
        EXPECT_EQ(qAlpha(at(out, 300, 360)), 0);
        EXPECT_EQ(qAlpha(at(out, 980, 360)), 0);
    }
}

TEST(SnapshotComposition, BrowserPictureAtItsPlaceWithOpacityAndInversion) {
    SnapshotLayers layers;
    layers.containerSize = QSizeF(1000, 900);
    layers.boardImage = solid(1000, 900, QColor(0, 0, 255));
    SnapshotLayers::Browser browser;
    browser.image = solid(800, 600, Qt::white);
    browser.containerFrame = QRectF(100, 50, 800, 600);
    browser.opacity = 1.0;
    layers.browser = browser;
    // Drawn at (100, 260) from the bottom-left: rows 40 ... 639 from the top.
    QImage out = composeSnapshot(layers);
    EXPECT_EQ(at(out, 150, 45), qRgb(255, 255, 255));
    EXPECT_EQ(at(out, 150, 35), qRgb(0, 0, 255));
    EXPECT_EQ(at(out, 150, 645), qRgb(0, 0, 255));
    EXPECT_EQ(at(out, 95, 300), qRgb(0, 0, 255));

    layers.browser->invert = true;
    out = composeSnapshot(layers);
    EXPECT_EQ(at(out, 150, 45), qRgb(0, 0, 0));

    layers.browser->invert = false;
    layers.browser->opacity = 0.5;
    out = composeSnapshot(layers);
    const QRgb mixed = at(out, 150, 45);
    EXPECT_NEAR(qRed(mixed), 128, 2);
    EXPECT_NEAR(qBlue(mixed), 255, 2);
}

TEST(CaptureFileNames, DateTimePatternAndSuffixForTheSameSecond) {
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    EXPECT_EQ(makeCaptureFileName(".png", when), "20260304_050607.png");
    EXPECT_EQ(makeCaptureFileName(".mp4", when), "20260304_050607.mp4");

    QTemporaryDir dir;
    auto& names = CaptureNameReservations::shared();
    const QString first = names.reserve(dir.path(), ".png", when);
    EXPECT_EQ(QFileInfo(first).fileName(), "20260304_050607.png");
    const QString second = names.reserve(dir.path(), ".png", when);  // first still being written
    EXPECT_EQ(QFileInfo(second).fileName(), "20260304_050607_1.png");
    QFile(first).open(QIODevice::WriteOnly);
    names.release(first);
    names.release(second);
    EXPECT_EQ(QFileInfo(names.reserve(dir.path(), ".png", when)).fileName(), "20260304_050607_1.png");
}

TEST(PngWrite, WritesAReadablePictureAndReportsFailure) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.png");
    EXPECT_EQ(writePngFile(solid(64, 32, Qt::red), path), QString());
    const QImage back(path);
    EXPECT_EQ(back.size(), QSize(64, 32));
    EXPECT_EQ(back.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_NE(writePngFile(solid(4, 4, Qt::red), dir.filePath("missing/folder/b.png")), QString());
    EXPECT_FALSE(QFile::exists(dir.filePath("missing/folder/b.png")));
}

TEST(ImageHelpers, RotationSizesAndInversion) {
    const QImage image = solid(40, 10, Qt::red);
    EXPECT_EQ(rotatedImage(image, 90).size(), QSize(10, 40));
    EXPECT_EQ(rotatedImage(image, -360).cacheKey(), image.cacheKey());
    EXPECT_EQ(rotatedImage(image, 180).size(), QSize(40, 10));
    EXPECT_EQ(invertedImage(image).pixel(0, 0), qRgb(0, 255, 255));
    EXPECT_EQ(aspectFitRect(QSizeF(16, 9), QRectF(0, 0, 100, 100)), QRectF(0, 21.875, 100, 56.25));
}
