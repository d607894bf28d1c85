// Camera frames turned into pictures: the colours match GStreamer's own converter for each format,
// colour matrix and range the session lets through, and a picture somebody still holds is never
// written over by a later frame.
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <string>

#include "capture/gst/FrameImages.h"

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Saturated bars, a grey ramp and both ends of the range: what a wrong matrix or range shows at once.
QImage testPicture(int shift = 0) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    const QRgb bars[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0),
                         qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(255, 255, 255), qRgb(0, 0, 0)};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int v = (x * 4 + shift) & 0xff;
            picture.setPixel(x, y, y < kHeight / 2 ? bars[((x + shift) / 8) % 8] : qRgb(v, v, (v + 64) & 0xff));
        }
    return picture;
}

GstVideoInfo infoOf(GstVideoFormat format, const char* colorimetry, int framesPerSecond = 0) {
    GstVideoInfo info;
    gst_video_info_set_format(&info, format, kWidth, kHeight);
    if (colorimetry) gst_video_colorimetry_from_string(&info.colorimetry, colorimetry);
    info.fps_n = framesPerSecond;
    info.fps_d = 1;
    return info;
}

// Converts between two frame layouts with the settings the camera session gives its converter.
GstBuffer* convertWithGStreamer(const GstVideoInfo& from, GstBuffer* input, const GstVideoInfo& to) {
    GstStructure* options = gst_structure_new(
        "options", GST_VIDEO_CONVERTER_OPT_CHROMA_MODE, GST_TYPE_VIDEO_CHROMA_MODE, GST_VIDEO_CHROMA_MODE_NONE,
        GST_VIDEO_CONVERTER_OPT_DITHER_METHOD, GST_TYPE_VIDEO_DITHER_METHOD, GST_VIDEO_DITHER_NONE, nullptr);
    GstVideoConverter* converter = gst_video_converter_new(const_cast<GstVideoInfo*>(&from),
                                                           const_cast<GstVideoInfo*>(&to), options);
    GstBuffer* output = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&to), nullptr);
    GstVideoFrame in, out;
    gst_video_frame_map(&in, const_cast<GstVideoInfo*>(&from), input, GST_MAP_READ);
    gst_video_frame_map(&out, const_cast<GstVideoInfo*>(&to), output, GST_MAP_WRITE);
    gst_video_converter_frame(converter, &in, &out);
    gst_video_frame_unmap(&out);
    gst_video_frame_unmap(&in);
    gst_video_converter_free(converter);
    return output;
}

GstBuffer* bufferOf(const QImage& picture, const GstVideoInfo& info) {
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstVideoFrame frame;
    gst_video_frame_map(&frame, const_cast<GstVideoInfo*>(&info), buffer, GST_MAP_WRITE);
    for (int y = 0; y < kHeight; ++y)
        memcpy(static_cast<char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) + y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
               picture.constScanLine(y), kWidth * 4);
    gst_video_frame_unmap(&frame);
    return buffer;
}

GstSample* sampleOf(GstBuffer* buffer, const GstVideoInfo& info) {
    GstCaps* caps = gst_video_info_to_caps(const_cast<GstVideoInfo*>(&info));
    GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    gst_caps_unref(caps);
    gst_buffer_unref(buffer);
    return sample;
}

// A camera frame of `format` showing the test picture.
GstSample* cameraFrame(GstVideoFormat format, const char* colorimetry, int shift = 0) {
    const GstVideoInfo rgb = infoOf(GST_VIDEO_FORMAT_BGRx, nullptr, 30);
    const GstVideoInfo yuv = infoOf(format, colorimetry, 30);
    GstBuffer* picture = bufferOf(testPicture(shift), rgb);
    GstBuffer* frame = format == GST_VIDEO_FORMAT_BGRx ? gst_buffer_ref(picture) : convertWithGStreamer(rgb, picture, yuv);
    gst_buffer_unref(picture);
    return sampleOf(frame, yuv);
}

// What GStreamer's converter makes of the same frame.
QImage expectedPicture(GstSample* sample) {
    GstVideoInfo from;
    gst_video_info_from_caps(&from, gst_sample_get_caps(sample));
    const GstVideoInfo to = infoOf(GST_VIDEO_FORMAT_BGRx, nullptr, 30);
    GstBuffer* rgb = convertWithGStreamer(from, gst_sample_get_buffer(sample), to);
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    GstVideoFrame frame;
    gst_video_frame_map(&frame, const_cast<GstVideoInfo*>(&to), rgb, GST_MAP_READ);
    for (int y = 0; y < kHeight; ++y)
        memcpy(picture.scanLine(y),
               static_cast<const char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) + y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
               kWidth * 4);
    gst_video_frame_unmap(&frame);
    gst_buffer_unref(rgb);
    return picture;
}

struct Difference {
    int largest = 0;
    double mean = 0;
};

Difference differenceOf(const QImage& a, const QImage& b) {
    Difference d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int channel : {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))}) {
                d.largest = std::max(d.largest, channel);
                d.mean += channel;
            }
        }
    d.mean /= 3.0 * a.width() * a.height();
    return d;
}

struct Case {
    GstVideoFormat format;
    const char* colorimetry;  // null: the format's default for its size
    int fastLargest;          // the fast path's largest and mean differences from exact colours
    double fastMean;
};

class FrameImagesColours : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

std::shared_ptr<const QImage> converted(const Case& c, qv::gst::FrameImages::Precision precision, QImage& expected) {
    GstSample* sample = cameraFrame(c.format, c.colorimetry);
    expected = expectedPicture(sample);
    qv::gst::FrameImages images(precision);
    std::shared_ptr<const QImage> picture = images.imageOf(sample);
    if (picture) {
        EXPECT_EQ(picture->size(), QSize(kWidth, kHeight));
        EXPECT_EQ(picture->format(), QImage::Format_RGB32);
    }
    return picture;
}

TEST_P(FrameImagesColours, ExactPicturesAreGStreamersOwn) {
    QImage expected;
    const std::shared_ptr<const QImage> picture = converted(GetParam(), qv::gst::FrameImages::Precision::exact, expected);
    ASSERT_TRUE(picture);
    EXPECT_EQ(differenceOf(*picture, expected).largest, 0);
}

TEST_P(FrameImagesColours, FastPicturesStayCloseToExactColours) {
    QImage expected;
    const std::shared_ptr<const QImage> picture = converted(GetParam(), qv::gst::FrameImages::Precision::fast, expected);
    ASSERT_TRUE(picture);
    // Fixed-point rounding moves a level or two (BT.709 and BT.2020 blues a little more); the BT.601
    // matrix on a BT.709 frame is off by 22 at most and 4.4 on average, a wrong range by 11 on
    // average, a wrong plane order by far more.
    const Difference d = differenceOf(*picture, expected);
    EXPECT_LE(d.largest, GetParam().fastLargest);
    EXPECT_LE(d.mean, GetParam().fastMean);
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndColours, FrameImagesColours,
    ::testing::Values(Case{GST_VIDEO_FORMAT_NV12, "bt601", 6, 2}, Case{GST_VIDEO_FORMAT_NV12, "bt709", 13, 3},
                      Case{GST_VIDEO_FORMAT_NV12, "jpeg", 6, 2}, Case{GST_VIDEO_FORMAT_NV12, "2:4:5:4", 6, 2},
                      Case{GST_VIDEO_FORMAT_NV12, "bt2020", 17, 3.5}, Case{GST_VIDEO_FORMAT_NV21, "bt709", 13, 3},
                      Case{GST_VIDEO_FORMAT_I420, "bt601", 6, 2}, Case{GST_VIDEO_FORMAT_I420, "jpeg", 6, 2},
                      Case{GST_VIDEO_FORMAT_YV12, "bt709", 13, 3}, Case{GST_VIDEO_FORMAT_NV12, nullptr, 6, 2},
                      Case{GST_VIDEO_FORMAT_BGRx, nullptr, 0, 0}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name = std::string(gst_video_format_to_string(info.param.format)) + "_" +
                           (info.param.colorimetry ? info.param.colorimetry : "default");
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// Fast pictures come at the size the preview is drawn, scaled up or down before the conversion;
// each colour bar keeps its colour at its centre.
class FrameImagesScaling : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_P(FrameImagesScaling, FastPicturesComeAtTheAskedSize) {
    const Case c = GetParam();
    for (const QSize size : {QSize(kWidth * 2, kHeight * 2), QSize(kWidth / 2, kHeight / 2), QSize(37, 29)}) {
        SCOPED_TRACE(std::to_string(size.width()) + " x " + std::to_string(size.height()));
        GstSample* sample = cameraFrame(c.format, c.colorimetry);
        const QImage exact = expectedPicture(sample);
        qv::gst::FrameImages fast(qv::gst::FrameImages::Precision::fast);
        const std::shared_ptr<const QImage> picture = fast.imageOf(gst_sample_ref(sample), size);
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->size(), size);
        const double sx = double(size.width()) / kWidth, sy = double(size.height()) / kHeight;
        for (int bar = 0; bar < 8; ++bar) {
            const QRgb want = exact.pixel(bar * 8 + 4, 12);
            const QRgb got = picture->pixel(int((bar * 8 + 4) * sx), int(12 * sy));
            EXPECT_LE(std::abs(qRed(got) - qRed(want)), c.fastLargest + 2) << "bar " << bar;
            EXPECT_LE(std::abs(qGreen(got) - qGreen(want)), c.fastLargest + 2) << "bar " << bar;
            EXPECT_LE(std::abs(qBlue(got) - qBlue(want)), c.fastLargest + 2) << "bar " << bar;
        }
        // Exact pictures are for photos: always the frame's own size.
        qv::gst::FrameImages exactImages(qv::gst::FrameImages::Precision::exact);
        const std::shared_ptr<const QImage> full = exactImages.imageOf(sample, size);
        ASSERT_TRUE(full);
        EXPECT_EQ(full->size(), QSize(kWidth, kHeight));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameImagesScaling,
                         ::testing::Values(Case{GST_VIDEO_FORMAT_NV12, "bt709", 13, 3},
                                           Case{GST_VIDEO_FORMAT_NV21, "bt601", 6, 2},
                                           Case{GST_VIDEO_FORMAT_I420, "jpeg", 6, 2},
                                           Case{GST_VIDEO_FORMAT_YV12, "bt601", 6, 2},
                                           Case{GST_VIDEO_FORMAT_BGRx, nullptr, 0, 0}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(gst_video_format_to_string(info.param.format));
                         });

using Precision = qv::gst::FrameImages::Precision;

class FrameImagesKeeping : public ::testing::TestWithParam<Precision> {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_P(FrameImagesKeeping, APictureStillHeldIsNeverOverwritten) {
    qv::gst::FrameImages images(GetParam());
    // Held as the session's shared pointer...
    std::shared_ptr<const QImage> held = images.imageOf(cameraFrame(GST_VIDEO_FORMAT_NV12, "bt709", 0));
    ASSERT_TRUE(held);
    const QImage heldBefore = held->copy();
    // ... and as a plain copy of the image, whose pointer was let go.
    std::shared_ptr<const QImage> copied = images.imageOf(cameraFrame(GST_VIDEO_FORMAT_NV12, "bt709", 8));
    ASSERT_TRUE(copied);
    const QImage copy = *copied;
    const QImage copyBefore = copied->copy();
    copied.reset();
    for (int shift = 16; shift < 16 * 8; shift += 16) {
        std::shared_ptr<const QImage> next = images.imageOf(cameraFrame(GST_VIDEO_FORMAT_NV12, "bt709", shift));
        ASSERT_TRUE(next);
        EXPECT_NE(*next, heldBefore);
    }
    EXPECT_EQ(*held, heldBefore);
    EXPECT_EQ(copy, copyBefore);
}

TEST_P(FrameImagesKeeping, PicturesFollowTheFrameSize) {
    qv::gst::FrameImages images(GetParam());
    const std::shared_ptr<const QImage> small = images.imageOf(cameraFrame(GST_VIDEO_FORMAT_NV12, "bt709"));
    GstVideoInfo wide;
    gst_video_info_set_format(&wide, GST_VIDEO_FORMAT_NV12, kWidth * 2, kHeight);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&wide), nullptr);
    gst_buffer_memset(buffer, 0, 128, GST_VIDEO_INFO_SIZE(&wide));
    const std::shared_ptr<const QImage> large = images.imageOf(sampleOf(buffer, wide));
    ASSERT_TRUE(small && large);
    EXPECT_EQ(small->size(), QSize(kWidth, kHeight));
    EXPECT_EQ(large->size(), QSize(kWidth * 2, kHeight));
}

TEST_P(FrameImagesKeeping, UnreadableSamplesGiveNoPicture) {
    qv::gst::FrameImages images(GetParam());
    // No caps at all, and a buffer too short for the frame its caps describe.
    EXPECT_FALSE(images.imageOf(gst_sample_new(gst_buffer_new_allocate(nullptr, 16, nullptr), nullptr, nullptr, nullptr)));
    const GstVideoInfo info = infoOf(GST_VIDEO_FORMAT_NV12, "bt709");
    EXPECT_FALSE(images.imageOf(sampleOf(gst_buffer_new_allocate(nullptr, 16, nullptr), info)));
}

INSTANTIATE_TEST_SUITE_P(Precisions, FrameImagesKeeping, ::testing::Values(Precision::fast, Precision::exact),
                         [](const ::testing::TestParamInfo<Precision>& info) {
                             return std::string(info.param == Precision::fast ? "Fast" : "Exact");
                         });

}  // namespace
