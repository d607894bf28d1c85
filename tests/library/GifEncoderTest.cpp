#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

#include "GifDecode.h"
#include "library/GifEncoder.h"

using namespace qv::library;

namespace {

// A picture with smooth gradients and a few hard edges, different for each seed.
QImage sourcePicture(int seed, QSize size = {320, 180}) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 255 / size.width() + seed * 70) % 256, y * 255 / size.height(),
                                      ((x + y) * 128 / size.width() + seed * 40) % 256));
    QPainter p(&image);
    p.fillRect(QRect(20 + seed * 40, 30, 60, 50), QColor::fromHsv(seed * 100 % 360, 220, 230));
    p.setPen(QPen(Qt::white, 3));
    p.drawEllipse(QPoint(200, 90), 40 + seed * 5, 30);
    return image;
}

struct EncoderFixture : ::testing::Test {
    QTemporaryDir dir;
    std::vector<GifFrameInput> frames(int count) {
        std::vector<GifFrameInput> out;
        for (int i = 0; i < count; ++i) {
            const QString path = dir.filePath(QString("frame%1.png").arg(i));
            sourcePicture(i).save(path);
            out.push_back({path, QString("frame%1").arg(i)});
        }
        return out;
    }
};

TEST(GifDelay, IntervalsBecomeHundredthsOfASecond) {
    const std::pair<double, int> cases[] = {{0.1, 10}, {0.5, 50}, {1.5, 150}, {0.333, 33}, {0.005, 1}, {1.0, 100}};
    for (const auto& [seconds, delay] : cases) EXPECT_EQ(gifDelayCentiseconds(seconds), delay) << seconds;
}

// Three frames read back: three images, each with the interval as its delay, no loop extension,
// and colours close to the source (PSNR at least 30 dB, mean error at most 4 of 255 per channel).
TEST_F(EncoderFixture, ThreeFramesDecodeBackCloseToTheirSources) {
    const auto inputs = frames(3);
    const QString target = dir.filePath("out.gif");
    std::vector<int> progress;
    GifEncoderOptions options;
    options.intervalSeconds = 0.7;
    const GifExportResult result = writeGif(target, inputs, options, [&](int done, int total) {
        EXPECT_EQ(total, 3);
        progress.push_back(done);
    });
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.framesWritten, 3);
    EXPECT_TRUE(result.skipped.isEmpty());
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(QFile::exists(target + ".part"));

    const qv::test::DecodedGif gif = qv::test::decodeGif(target);
    ASSERT_TRUE(gif.ok);
    EXPECT_EQ(gif.width, 320);
    EXPECT_EQ(gif.height, 180);
    ASSERT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.delays, (std::vector<int>{70, 70, 70}));
    EXPECT_FALSE(gif.hasApplicationExtension);
    for (int i = 0; i < 3; ++i) {
        const QImage source(inputs[size_t(i)].path);
        EXPECT_GE(qv::test::psnr(gif.frames[size_t(i)], source), 30.0) << "frame " << i;
        EXPECT_LE(qv::test::meanAbsoluteError(gif.frames[size_t(i)], source), 4.0) << "frame " << i;
    }
}

TEST_F(EncoderFixture, UndecodableFrameIsSkippedNamedAndPrinted) {
    auto inputs = frames(3);
    QFile::remove(inputs[1].path);
    const QString target = dir.filePath("out.gif");
    testing::internal::CaptureStdout();
    const GifExportResult result = writeGif(target, inputs);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.skipped, QStringList({"frame1"}));
    EXPECT_EQ(result.written, (std::vector<int>{0, 2}));
    EXPECT_NE(out.find("Skipped a GIF frame that cannot be decoded: " + inputs[1].path.toStdString()), std::string::npos)
        << out;
    EXPECT_EQ(qv::test::decodeGif(target).frames.size(), 2u);
}

TEST_F(EncoderFixture, FramesOfAnotherSizeAreFittedToTheCanvas) {
    auto inputs = frames(1);
    const QString small = dir.filePath("small.png");
    QImage red(160, 90, QImage::Format_RGB32);
    red.fill(Qt::red);
    red.save(small);
    inputs.push_back({small, "small"});
    const QString target = dir.filePath("out.gif");
    ASSERT_TRUE(writeGif(target, inputs).ok);
    const auto gif = qv::test::decodeGif(target);
    ASSERT_EQ(gif.frames.size(), 2u);
    EXPECT_EQ(gif.frames[1].size(), QSize(320, 180));
    const QColor centre = gif.frames[1].pixelColor(160, 90);
    EXPECT_GT(centre.red(), 240);
    EXPECT_LT(centre.green(), 15);
}

TEST_F(EncoderFixture, FailuresWriteNothing) {
    const auto inputs = frames(2);
    struct Case {
        const char* what;
        QString target;
        std::vector<GifFrameInput> frames;
    } cases[] = {
        {"unwritable target", dir.filePath("no/such/folder/out.gif"), inputs},
        {"no readable frame", dir.filePath("out.gif"), {{dir.filePath("gone.png"), "gone"}}},
        {"no frames", dir.filePath("out.gif"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const GifExportResult result = writeGif(c.target, c.frames);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_FALSE(QFile::exists(c.target));
        EXPECT_FALSE(QFile::exists(c.target + ".part"));
    }
    EXPECT_TRUE(writeGif(dir.filePath("no/such/folder/out.gif"), inputs).error.contains("no/such/folder/out.gif"));
}

// A write that fails half way (the file-size limit stands in for a full disk) is a failure, and
// leaves neither the target nor the partial file behind.
TEST_F(EncoderFixture, WriteErrorHalfWayIsAFailure) {
    const auto inputs = frames(3);
    const QString target = dir.filePath("out.gif");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 20000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const GifExportResult result = writeGif(target, inputs);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_FALSE(QFile::exists(target + ".part"));
}

}  // namespace
