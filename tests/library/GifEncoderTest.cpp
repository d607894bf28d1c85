#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QPainter>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "GifDecode.h"
#include "library/GifEncoder.h"
#include "library/WorkingFiles.h"

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
    QTemporaryDir notes;
    std::vector<GifFrameInput> frames(int count, int firstSeed = 0, QSize size = {320, 180}) {
        std::vector<GifFrameInput> out;
        for (int i = 0; i < count; ++i) {
            const QString path = dir.filePath(QString("frame%1.png").arg(firstSeed + i));
            sourcePicture(firstSeed + i, size).save(path);
            out.push_back({path, QString("frame%1").arg(firstSeed + i)});
        }
        return out;
    }
    GifEncoderOptions options() const {
        GifEncoderOptions o;
        o.recordsFolder = notes.path();
        return o;
    }
    // What is in the folder besides the frames: the GIFs, and whatever was left behind.
    QStringList written() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name).filter(QRegularExpression("^(?!frame\\d+\\.png$)"));
    }
    QStringList notesLeft() const { return QDir(notes.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); }
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
    EXPECT_EQ(written(), QStringList{"out.gif"});

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
        const GifExportResult result = writeGif(c.target, c.frames, options());
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_FALSE(QFile::exists(c.target));
        EXPECT_TRUE(written().isEmpty()) << written().join(", ").toStdString();
        EXPECT_TRUE(notesLeft().isEmpty());
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
    const GifExportResult result = writeGif(target, inputs, options());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_TRUE(written().isEmpty()) << written().join(", ").toStdString();
    EXPECT_TRUE(notesLeft().isEmpty());
}

// The GIF lands under the name as typed, whatever it holds, and follows the umask as every other
// file the program writes.
TEST_F(EncoderFixture, TheFileHasTheNameAsTypedAndTheModeTheUmaskLeaves) {
    const auto inputs = frames(2);
    const QString names[] = {"my \"class\" #1.gif", "a*b?[c] 'd' \\e.gif", QString(123, QChar(0x0416)) + ".gif"};
    const mode_t before = ::umask(027);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const GifExportResult result = writeGif(dir.filePath(name), inputs, options());
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(dir.filePath(name)).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
    }
    ::umask(before);
    QStringList expected(std::begin(names), std::end(names));
    expected.sort();
    EXPECT_EQ(written(), expected);
    EXPECT_TRUE(notesLeft().isEmpty());
}

// Two exports to one name at the same time each write a file of their own: the GIF that stays is
// one of them whole, and nothing is left beside it.
TEST_F(EncoderFixture, ExportsToOneNameNeverShareAFile) {
    const std::vector<GifFrameInput> sets[] = {frames(6, 0, {640, 360}), frames(4, 10, {640, 360})};
    const QString target = dir.filePath("export.gif");
    GifExportResult results[2];
    GifEncoderOptions slow = options();
    slow.threads = 1;
    std::thread first([&] { results[0] = writeGif(target, sets[0], slow); });
    std::thread second([&] { results[1] = writeGif(target, sets[1], slow); });
    first.join();
    second.join();
    for (const GifExportResult& r : results) EXPECT_TRUE(r.ok) << r.error.toStdString();
    const qv::test::DecodedGif gif = qv::test::decodeGif(target);
    ASSERT_TRUE(gif.ok);
    const auto& set = gif.frames.size() == sets[0].size() ? sets[0] : sets[1];
    ASSERT_EQ(gif.frames.size(), set.size());
    for (size_t i = 0; i < set.size(); ++i) EXPECT_GE(qv::test::psnr(gif.frames[i], QImage(set[i].path)), 30.0) << i;
    EXPECT_EQ(written(), QStringList{"export.gif"});
}

// While it is written the working file is recorded, for the next start to find should the program
// be killed; stopping ends the export with nothing written and nothing left behind.
TEST_F(EncoderFixture, WhileWrittenItIsNotedAndStoppingLeavesNothing) {
    const auto inputs = frames(5);
    const QString target = dir.filePath("out.gif");
    std::atomic<bool> stop{false};
    QString noted;
    const GifExportResult result = writeGif(
        target, inputs, options(),
        [&](int done, int) {
            if (done != 1) return;
            const QStringList notes = notesLeft();
            ASSERT_EQ(notes.size(), 1);
            QFile note(this->notes.filePath(notes[0]));
            ASSERT_TRUE(note.open(QIODevice::ReadOnly));
            // The record: "working entry", the path, then what was made.
            noted = QFile::decodeName(note.readAll().split('\0').value(1));
            stop = true;
        },
        &stop);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "The export was stopped before it was finished.");
    EXPECT_EQ(QFileInfo(noted).absolutePath(), QFileInfo(target).absolutePath());
    EXPECT_TRUE(isWorkingName(QFileInfo(noted).fileName())) << noted.toStdString();
    EXPECT_FALSE(QFileInfo::exists(noted));
    EXPECT_TRUE(written().isEmpty()) << written().join(", ").toStdString();
    EXPECT_TRUE(notesLeft().isEmpty());
}

}  // namespace
