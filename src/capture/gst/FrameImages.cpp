#include "capture/gst/FrameImages.h"

#include <gst/gst.h>
#include <gst/video/video.h>
#include <libyuv/convert_argb.h>

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

// Converts a mapped YUV frame into `out` (RGB32 of the frame's size). False for another format.
bool convert(const GstVideoFrame& frame, QImage& out) {
    const GstVideoInfo& info = frame.info;
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    uchar* dst = out.bits();  // detaches from any copy of the image still held elsewhere
    const int dstStride = int(out.bytesPerLine());
    auto plane = [&](int i) { return static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, i)); };
    auto stride = [&](int i) { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame, i); };
    // libyuv's "ARGB" is B, G, R, A in memory: Qt's RGB32 on little-endian machines.
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_NV12:
        return libyuv::NV12ToARGBMatrix(plane(0), stride(0), plane(1), stride(1), dst, dstStride,
                                        constantsFor(info.colorimetry), width, height) == 0;
    case GST_VIDEO_FORMAT_NV21:  // reads its V, U pairs with the same constants
        return libyuv::NV21ToARGBMatrix(plane(0), stride(0), plane(1), stride(1), dst, dstStride,
                                        constantsFor(info.colorimetry), width, height) == 0;
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12: {
        // YV12 is I420 with the V plane stored before the U plane.
        auto component = [&](int c) { return static_cast<const uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c)); };
        auto componentStride = [&](int c) { return GST_VIDEO_FRAME_COMP_STRIDE(&frame, c); };
        return libyuv::I420ToARGBMatrix(component(GST_VIDEO_COMP_Y), componentStride(GST_VIDEO_COMP_Y),
                                        component(GST_VIDEO_COMP_U), componentStride(GST_VIDEO_COMP_U),
                                        component(GST_VIDEO_COMP_V), componentStride(GST_VIDEO_COMP_V), dst, dstStride,
                                        constantsFor(info.colorimetry), width, height) == 0;
    }
    default:
        return false;
    }
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

std::shared_ptr<const QImage> FrameImages::imageOf(GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) {
        gst_sample_unref(sample);
        return nullptr;
    }
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
    if (format == GST_VIDEO_FORMAT_BGRx || format == GST_VIDEO_FORMAT_BGRA) {
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
        return std::make_shared<const QImage>(data, GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), stride,
                                              QImage::Format_RGB32, &MappedFrame::release, mapped);
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
        gst_sample_unref(sample);
        return nullptr;
    }
    std::shared_ptr<QImage> image = freeImage(QSize(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)));
    const bool converted =
        image && (precision_ == Precision::exact ? convertExactly(frame, *image) : convert(frame, *image));
    gst_video_frame_unmap(&frame);
    gst_sample_unref(sample);
    return converted ? std::shared_ptr<const QImage>(std::move(image)) : nullptr;
}

}  // namespace qv::gst
