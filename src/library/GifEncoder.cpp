#include "library/GifEncoder.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

#include "library/WorkingFiles.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

namespace {

struct LiqAttrDeleter {
    void operator()(liq_attr* a) const { liq_attr_destroy(a); }
};
struct LiqImageDeleter {
    void operator()(liq_image* i) const { liq_image_destroy(i); }
};
struct LiqResultDeleter {
    void operator()(liq_result* r) const { liq_result_destroy(r); }
};
struct GifMapDeleter {
    void operator()(ColorMapObject* m) const { GifFreeMapObject(m); }
};

// One frame ready to write: palette indices row by row and its palette.
struct QuantisedFrame {
    std::vector<GifByteType> indices;
    std::vector<GifColorType> palette;
};

std::optional<QImage> readPicture(const QString& path, QString* why) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
        *why = reader.errorString();
        return std::nullopt;
    }
    return image;
}

// The picture in RGBA bytes at the canvas size: scaled to fit, centred on black.
QImage onCanvas(const QImage& picture, QSize canvas) {
    if (picture.size() == canvas) return picture.convertToFormat(QImage::Format_RGBA8888);
    QImage out(canvas, QImage::Format_RGBA8888);
    out.fill(Qt::black);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize fitted = picture.size().scaled(canvas, Qt::KeepAspectRatio);
    p.drawImage(QRect(QPoint((canvas.width() - fitted.width()) / 2, (canvas.height() - fitted.height()) / 2), fitted),
                picture);
    return out;
}

std::optional<QuantisedFrame> quantise(const QImage& rgba, const GifEncoderOptions& options, QString* why) {
    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    if (!attr) {
        *why = QStringLiteral("no memory for the palette");
        return std::nullopt;
    }
    liq_set_speed(attr.get(), std::clamp(options.speed, 1, 10));
    liq_set_max_colors(attr.get(), 256);
    const int w = rgba.width(), h = rgba.height();
    // The rows must be contiguous for liq_image_create_rgba; QImage rows are 4-byte aligned,
    // which RGBA always is.
    std::unique_ptr<liq_image, LiqImageDeleter> image(liq_image_create_rgba(attr.get(), rgba.constBits(), w, h, 0));
    if (!image) {
        *why = QStringLiteral("the picture could not be handed to the quantiser");
        return std::nullopt;
    }
    liq_result* raw = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK || !raw) {
        *why = QStringLiteral("no palette could be made");
        return std::nullopt;
    }
    std::unique_ptr<liq_result, LiqResultDeleter> result(raw);
    liq_set_dithering_level(result.get(), options.dithering);
    QuantisedFrame frame;
    frame.indices.resize(size_t(w) * size_t(h));
    if (liq_write_remapped_image(result.get(), image.get(), frame.indices.data(), frame.indices.size()) != LIQ_OK) {
        *why = QStringLiteral("the picture could not be mapped to its palette");
        return std::nullopt;
    }
    const liq_palette* palette = liq_get_palette(result.get());
    frame.palette.reserve(palette->count);
    for (unsigned i = 0; i < palette->count; ++i)
        frame.palette.push_back({palette->entries[i].r, palette->entries[i].g, palette->entries[i].b});
    return frame;
}

QString gifError(const char* what, int code) {
    const char* text = GifErrorString(code);
    return QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromUtf8(text ? text : "unknown error"));
}

// Writes one frame: its graphics control block, its image descriptor with a local colour
// table, and its rows. Returns the giflib error code, or 0.
int putFrame(GifFileType* gif, const QuantisedFrame& frame, int width, int height, int delay) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = delay;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&gcb, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_ERROR) return gif->Error;

    // A colour table holds a power of two of entries (2 to 256); the rest stays black.
    int count = 2;
    while (count < int(frame.palette.size())) count *= 2;
    std::vector<GifColorType> colours(size_t(count), GifColorType{0, 0, 0});
    std::copy(frame.palette.begin(), frame.palette.end(), colours.begin());
    std::unique_ptr<ColorMapObject, GifMapDeleter> map(GifMakeMapObject(count, colours.data()));
    if (!map) return E_GIF_ERR_NOT_ENOUGH_MEM;
    if (EGifPutImageDesc(gif, 0, 0, width, height, false, map.get()) == GIF_ERROR) return gif->Error;
    for (int y = 0; y < height; ++y) {
        auto* row = const_cast<GifPixelType*>(frame.indices.data() + size_t(y) * size_t(width));
        if (EGifPutLine(gif, row, width) == GIF_ERROR) return gif->Error;
    }
    return 0;
}

const QString kStopped = QStringLiteral("The export was stopped before it was finished.");

}  // namespace

int gifDelayCentiseconds(double seconds) { return std::max(1, int(std::lround(seconds * 100.0))); }

GifExportResult writeGif(const QString& target, const std::vector<GifFrameInput>& frames,
                         const GifEncoderOptions& options, const GifProgress& progress, const std::atomic<bool>* stop) {
    GifExportResult result;
    const int total = int(frames.size());
    if (total == 0) {
        result.error = QStringLiteral("There are no frames to export.");
        return result;
    }

    // The canvas: the size of the first frame whose header can be read.
    QSize canvas;
    for (const GifFrameInput& f : frames) {
        QImageReader reader(f.path);
        if (reader.canRead() && reader.size().isValid()) {
            canvas = reader.size();
            if (reader.autoTransform() && reader.transformation() & QImageIOHandler::TransformationRotate90)
                canvas.transpose();
            break;
        }
    }

    // Workers decode and quantise frames in any order; the writer below takes them in order.
    struct Slot {
        bool done = false;
        std::optional<QuantisedFrame> frame;
        QString why;
    };
    std::vector<Slot> pending(frames.size());
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<int> next{0};
    std::atomic<bool> done{false};
    const int threadCount = std::clamp(options.threads > 0 ? options.threads : int(std::thread::hardware_concurrency()), 1,
                                       std::max(1, total));
    const auto stopped = [stop] { return stop && stop->load(); };
    auto work = [&] {
        for (int i = next++; i < total && !done && !stopped(); i = next++) {
            QString why;
            std::optional<QuantisedFrame> q;
            if (!canvas.isValid()) {
                why = QStringLiteral("unreadable");
            } else if (std::optional<QImage> picture = readPicture(frames[size_t(i)].path, &why)) {
                q = quantise(onCanvas(*picture, canvas), options, &why);
            }
            std::lock_guard lock(mutex);
            pending[size_t(i)].done = true;
            pending[size_t(i)].frame = std::move(q);
            pending[size_t(i)].why = why;
            ready.notify_all();
        }
        // A worker that stops early wakes the writer, which then finds its frame will not come.
        std::lock_guard lock(mutex);
        ready.notify_all();
    };
    std::vector<std::thread> workers;
    workers.reserve(size_t(threadCount));
    for (int t = 0; t < threadCount; ++t) workers.emplace_back(work);
    struct Joiner {
        std::vector<std::thread>& threads;
        std::atomic<bool>& done;
        ~Joiner() {
            done = true;
            for (auto& t : threads) t.join();
        }
    } joiner{workers, done};

    const QFileInfo targetInfo(target);
    QString why;
    std::optional<WorkingFile> working =
        createWorkingFile(targetInfo.absolutePath(), targetInfo.fileName(), QStringLiteral("export"), &why,
                          options.recordsFolder);
    if (!working) {
        result.error = QStringLiteral("The file %1 cannot be written: %2.").arg(target, why);
        return result;
    }
    Discard discard(working->path);  // goes before its record
    int error = 0;
    // giflib takes the descriptor over and closes it with the file.
    GifFileType* gif = EGifOpenFileHandle(working->fd.release(), &error);
    if (!gif) {
        result.error = QStringLiteral("The file %1 cannot be written (%2).")
                           .arg(target, QString::fromUtf8(GifErrorString(error) ? GifErrorString(error) : "error"));
        return result;
    }
    EGifSetGifVersion(gif, true);
    bool failed = false;
    if (EGifPutScreenDesc(gif, canvas.width(), canvas.height(), 8, 0, nullptr) == GIF_ERROR) {
        result.error = gifError("The GIF header could not be written", gif->Error);
        failed = true;
    }
    const int delay = gifDelayCentiseconds(options.intervalSeconds);
    for (int i = 0; i < total && !failed; ++i) {
        if (stopped()) {
            result.error = kStopped;
            failed = true;
            break;
        }
        Slot slot;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return pending[size_t(i)].done || stopped(); });
            if (!pending[size_t(i)].done) continue;  // stopped before this frame was made: said above
            slot = std::move(pending[size_t(i)]);
        }
        if (!slot.frame) {
            util::printLine("Skipped a GIF frame that cannot be decoded:", frames[size_t(i)].path, "-", slot.why);
            result.skipped << frames[size_t(i)].name;
        } else if (int code = putFrame(gif, *slot.frame, canvas.width(), canvas.height(), delay)) {
            result.error = gifError("A frame could not be written", code);
            failed = true;
        } else {
            result.written.push_back(i);
        }
        if (progress) progress(i + 1, total);
    }
    if (EGifCloseFile(gif, &error) == GIF_ERROR && !failed) {
        result.error = gifError("The GIF could not be finished", error);
        failed = true;
    }
    if (!failed && result.written.empty()) {
        result.error = QStringLiteral("None of the frames could be read.");
        failed = true;
    }
    if (!failed && stopped()) {
        result.error = kStopped;
        failed = true;
    }
    if (failed) return result;
    if (::rename(QFile::encodeName(working->path).constData(), QFile::encodeName(target).constData()) != 0) {
        result.error = QStringLiteral("The file %1 cannot be written: %2.")
                           .arg(target, QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    discard.keep();
    result.ok = true;
    result.framesWritten = int(result.written.size());
    return result;
}

}  // namespace qv::library
