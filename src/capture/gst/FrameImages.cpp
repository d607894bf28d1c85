#include "capture/gst/FrameImages.h"

#include <gst/gst.h>
#include <gst/video/video.h>
#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>
#include <libyuv/scale_argb.h>

#include <optional>

namespace qv::gst {

const char* const directFrameCaps = "video/x-raw, format=(string){ NV12, NV21, I420, YV12, BGRx, BGRA }";

namespace {

// Images kept for reuse per session: the one being filled, the newest, and one or two still drawn.
constexpr size_t keptImages = 4;

// A mapped video frame kept alive for as long as an image shows its pixels.
struct MappedFrame {
    GstSample* sample = nullptr;
    GstVideoFrame frame{};
    static void release(void* self) {
        auto* m = static_cast<MappedFrame*>(self);
        gst_video_frame_unmap(&m->frame);
        gst_sample_unref(m->sample);
        delete m;
    }
};

// The YUV-to-RGB constants of a frame's colorimetry (BT.601 unless it says otherwise).
const libyuv::YuvConstants* constantsFor(const GstVideoColorimetry& colorimetry) {
    const bool full = colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    switch (colorimetry.matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT709:
        return full ? &libyuv::kYuvF709Constants : &libyuv::kYuvH709Constants;
    case GST_VIDEO_COLOR_MATRIX_BT2020:
        return full ? &libyuv::kYuvV2020Constants : &libyuv::kYuv2020Constants;
    default:
        return full ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants;
    }
}

// A 4:2:0 picture's planes: three (I420), or luma and interleaved chroma (NV12, NV21).
struct Planes420 {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;  // the interleaved chroma plane of a semi-planar picture
    const uint8_t* v = nullptr;
    int yStride = 0, uStride = 0, vStride = 0;
    int width = 0, height = 0;
    bool semiPlanar = false;
    bool vFirst = false;  // NV21's V, U pairs
};

std::optional<Planes420> planesOf(const GstVideoFrame& frame) {
    const GstVideoFormat format = GST_VIDEO_FRAME_FORMAT(&frame);
    auto component = [&](int c) { return static_cast<const uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c)); };
    auto componentStride = [&](int c) { return GST_VIDEO_FRAME_COMP_STRIDE(&frame, c); };
    Planes420 p;
    p.width = GST_VIDEO_FRAME_WIDTH(&frame);
    p.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    p.y = component(GST_VIDEO_COMP_Y);
    p.yStride = componentStride(GST_VIDEO_COMP_Y);
    switch (format) {
    case GST_VIDEO_FORMAT_NV12:
    case GST_VIDEO_FORMAT_NV21:
        p.semiPlanar = true;
        p.vFirst = format == GST_VIDEO_FORMAT_NV21;
        p.u = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 1));
        p.uStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 1);
        return p;
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12:  // I420 with the V plane stored before the U plane
        p.u = component(GST_VIDEO_COMP_U);
        p.uStride = componentStride(GST_VIDEO_COMP_U);
        p.v = component(GST_VIDEO_COMP_V);
        p.vStride = componentStride(GST_VIDEO_COMP_V);
        return p;
    default:
        return std::nullopt;
    }
}

// `from` scaled to `size` in `scratch` (bilinear up, box-filtered down: each picture pixel then
// averages the camera pixels it covers, so fine print does not shimmer when scaled down).
std::optional<Planes420> scaled(const Planes420& from, const QSize& size, std::vector<uint8_t>& scratch) {
    Planes420 to = from;
    to.width = size.width();
    to.height = size.height();
    const int chromaWidth = (to.width + 1) / 2, chromaHeight = (to.height + 1) / 2;
    to.yStride = to.width;
    scratch.resize(size_t(to.width) * to.height + size_t(chromaWidth) * chromaHeight * 2);
    uint8_t* y = scratch.data();
    uint8_t* chroma = y + size_t(to.width) * to.height;
    to.y = y;
    const bool down = to.width < from.width && to.height < from.height;
    const libyuv::FilterMode filter = down ? libyuv::kFilterBox : libyuv::kFilterBilinear;
    if (from.semiPlanar) {
        to.u = chroma;
        to.uStride = chromaWidth * 2;
        return libyuv::NV12Scale(from.y, from.yStride, from.u, from.uStride, from.width, from.height, y, to.yStride,
                                 chroma, to.uStride, to.width, to.height, filter) == 0
                   ? std::optional(to)
                   : std::nullopt;
    }
    to.u = chroma;
    to.v = chroma + size_t(chromaWidth) * chromaHeight;
    to.uStride = to.vStride = chromaWidth;
    uint8_t* u = chroma;
    uint8_t* v = chroma + size_t(chromaWidth) * chromaHeight;
    return libyuv::I420Scale(from.y, from.yStride, from.u, from.uStride, from.v, from.vStride, from.width,
                             from.height, y, to.yStride, u, to.uStride, v, to.vStride, to.width, to.height, filter) == 0
               ? std::optional(to)
               : std::nullopt;
}

// Converts 4:2:0 planes of `out`'s size into `out` (RGB32).
bool convert(const Planes420& p, const GstVideoColorimetry& colorimetry, QImage& out) {
    uchar* dst = out.bits();  // detaches from any copy of the image still held elsewhere
    const int dstStride = int(out.bytesPerLine());
    const libyuv::YuvConstants* constants = constantsFor(colorimetry);
    // libyuv's "ARGB" is B, G, R, A in memory: Qt's RGB32 on little-endian machines. NV21 reads
    // its V, U pairs with the same constants.
    if (p.semiPlanar && p.vFirst)
        return libyuv::NV21ToARGBMatrix(p.y, p.yStride, p.u, p.uStride, dst, dstStride, constants, p.width, p.height) == 0;
    if (p.semiPlanar)
        return libyuv::NV12ToARGBMatrix(p.y, p.yStride, p.u, p.uStride, dst, dstStride, constants, p.width, p.height) == 0;
    return libyuv::I420ToARGBMatrix(p.y, p.yStride, p.u, p.uStride, p.v, p.vStride, dst, dstStride, constants, p.width,
                                    p.height) == 0;
}

}  // namespace

struct FrameImages::Converter {
    GstVideoInfo from{};
    GstVideoConverter* converter = nullptr;
    ~Converter() {
        if (converter) gst_video_converter_free(converter);
    }
};

FrameImages::FrameImages(Precision precision) : precision_(precision) {}
FrameImages::~FrameImages() = default;

bool FrameImages::convertExactly(const GstVideoFrame& frame, QImage& out) {
    const int width = GST_VIDEO_INFO_WIDTH(&frame.info);
    const int height = GST_VIDEO_INFO_HEIGHT(&frame.info);
    GstVideoInfo to;
    gst_video_info_set_format(&to, GST_VIDEO_FORMAT_BGRx, width, height);
    // The converter changes pixels only: rate, pixel shape and interlacing stay the frame's.
    to.fps_n = frame.info.fps_n;
    to.fps_d = frame.info.fps_d;
    to.par_n = frame.info.par_n;
    to.par_d = frame.info.par_d;
    to.interlace_mode = frame.info.interlace_mode;
    uchar* bits = out.bits();  // detaches from any copy of the image still held elsewhere
    to.stride[0] = int(out.bytesPerLine());
    to.size = size_t(out.sizeInBytes());
    GstBuffer* target = gst_buffer_new_wrapped_full(GstMemoryFlags(0), bits, to.size, 0, to.size, nullptr, nullptr);
    GstVideoFrame dst;
    if (!gst_video_frame_map(&dst, &to, target, GST_MAP_WRITE)) {
        gst_buffer_unref(target);
        return false;
    }
    bool converted = false;
    {
        std::lock_guard lock(mutex_);
        if (!converter_ || !gst_video_info_is_equal(&converter_->from, &frame.info)) {
            converter_ = std::make_unique<Converter>();
            converter_->from = frame.info;
            GstStructure* options = gst_structure_new(
                "options", GST_VIDEO_CONVERTER_OPT_CHROMA_MODE, GST_TYPE_VIDEO_CHROMA_MODE, GST_VIDEO_CHROMA_MODE_NONE,
                GST_VIDEO_CONVERTER_OPT_DITHER_METHOD, GST_TYPE_VIDEO_DITHER_METHOD, GST_VIDEO_DITHER_NONE,
                GST_VIDEO_CONVERTER_OPT_THREADS, G_TYPE_UINT, 1u, nullptr);
            converter_->converter = gst_video_converter_new(&converter_->from, &to, options);
        }
        if (converter_->converter) {
            gst_video_converter_frame(converter_->converter, &frame, &dst);
            converted = true;
        }
    }
    gst_video_frame_unmap(&dst);
    gst_buffer_unref(target);
    return converted;
}

std::shared_ptr<QImage> FrameImages::freeImage(const QSize& size) {
    std::lock_guard lock(mutex_);
    // An image only this object holds is free: nobody else can take a new reference to it.
    std::erase_if(kept_, [&](const std::shared_ptr<QImage>& image) {
        return image.use_count() == 1 && image->size() != size;
    });
    for (const std::shared_ptr<QImage>& image : kept_)
        if (image.use_count() == 1) return image;
    auto image = std::make_shared<QImage>(size, QImage::Format_RGB32);
    if (image->isNull()) return nullptr;
    if (kept_.size() < keptImages) kept_.push_back(image);
    return image;
}

std::shared_ptr<const QImage> FrameImages::imageOf(GstSample* sample, QSize size) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) {
        gst_sample_unref(sample);
        return nullptr;
    }
    const QSize own(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
    if (precision_ == Precision::exact || size.isEmpty()) size = own;
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
    const bool rgb = format == GST_VIDEO_FORMAT_BGRx || format == GST_VIDEO_FORMAT_BGRA;
    if (rgb && size == own) {
        auto* mapped = new MappedFrame;
        mapped->sample = sample;
        if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) {
            gst_sample_unref(sample);
            delete mapped;
            return nullptr;
        }
        auto* data = static_cast<uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0);
        // BGRx in memory is Qt's 0xffRRGGBB on little-endian machines.
        return std::make_shared<const QImage>(data, own.width(), own.height(), stride, QImage::Format_RGB32,
                                              &MappedFrame::release, mapped);
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
        gst_sample_unref(sample);
        return nullptr;
    }
    std::shared_ptr<QImage> image = freeImage(size);
    bool converted = false;
    if (!image) {
    } else if (rgb) {
        const bool down = size.width() < own.width() && size.height() < own.height();
        converted = libyuv::ARGBScale(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                                      GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), own.width(), own.height(), image->bits(),
                                      int(image->bytesPerLine()), size.width(), size.height(),
                                      down ? libyuv::kFilterBox : libyuv::kFilterBilinear) == 0;
    } else if (precision_ == Precision::exact) {
        converted = convertExactly(frame, *image);
    } else if (const std::optional<Planes420> planes = planesOf(frame)) {
        if (size == own) {
            converted = convert(*planes, info.colorimetry, *image);
        } else {
            std::lock_guard lock(scratchMutex_);
            const std::optional<Planes420> resized = scaled(*planes, size, scratch_);
            converted = resized && convert(*resized, info.colorimetry, *image);
        }
    }
    gst_video_frame_unmap(&frame);
    gst_sample_unref(sample);
    return converted ? std::shared_ptr<const QImage>(std::move(image)) : nullptr;
}

}  // namespace qv::gst
