#pragma once
// Camera frames as images the painter draws. A camera's own YUV frames travel through the session
// as they are and become 32-bit RGB only where a picture is wanted: once per preview frame at the
// size it is shown (scaled here, before the conversion, rather than by the painter), and for a
// full-size frame only when someone asks for one. The conversion uses
// the frame's own colour matrix and range and each chroma sample for its 2x2 pixels (chroma
// resampling off), in one of two ways:
// - fast, for the live preview: SIMD row functions at a fraction of the generic converter's time.
//   Their fixed-point colours are within a few levels of exact, except that the strongest blues of
//   BT.709 and BT.2020 frames come out a few percent less saturated;
// - exact, for photos and every other full-size picture: GStreamer's own converter.
#include <QImage>

#include <memory>
#include <cstdint>
#include <mutex>
#include <vector>

typedef struct _GstSample GstSample;
typedef struct _GstVideoFrame GstVideoFrame;

namespace qv::gst {

// The raw formats imageOf() reads directly; the session asks its converter for one of them, which
// passes a camera's frames through untouched when they already are.
extern const char* const directFrameCaps;

class FrameImages {
public:
    enum class Precision { fast, exact };
    explicit FrameImages(Precision precision);
    ~FrameImages();

    // The sample's frame as an RGB32 image, scaled to `size` when one is given (fast pictures only;
    // exact ones keep the frame's size). Takes the reference to `sample`. An RGB frame of its own
    // size is shown in place (the image holds the buffer); others are converted into an image of
    // this object's, reused once nobody holds it any more. Null for a sample that cannot be read.
    std::shared_ptr<const QImage> imageOf(GstSample* sample, QSize size = {});

private:
    std::shared_ptr<QImage> freeImage(const QSize& size);
    bool convertExactly(const GstVideoFrame& frame, QImage& out);

    struct Converter;
    const Precision precision_;
    std::mutex mutex_;
    std::unique_ptr<Converter> converter_;  // the exact one, for the last frame layout (under mutex_)
    std::mutex scratchMutex_;
    std::vector<uint8_t> scratch_;  // scaled planes before their conversion (under scratchMutex_)
    std::vector<std::shared_ptr<QImage>> kept_;
};

}  // namespace qv::gst
