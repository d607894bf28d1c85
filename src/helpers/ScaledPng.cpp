#include "helpers/ScaledPng.h"

#include <QFile>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace qv::app {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

UniqueFile openFile(const QString& path) {
    return UniqueFile(std::fopen(QFile::encodeName(path).constData(), "rbe"));
}

// libpng's read and info structures, destroyed together.
class PngReader {
public:
    PngReader() {
        png_ =
            png_create_read_struct(PNG_LIBPNG_VER_STRING, this, &PngReader::onError, &PngReader::onWarning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngReader() {
        if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool valid() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }
    const char* message() const { return message_; }

private:
    static void onError(png_structp png, png_const_charp message) {
        auto* self = static_cast<PngReader*>(png_get_error_ptr(png));
        std::snprintf(self->message_, sizeof self->message_, "%s", message ? message : "damaged");
        png_longjmp(png, 1);
    }
    static void onWarning(png_structp, png_const_charp) {}

    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    char message_[200] = "damaged";
};

bool isPng(FILE* file) {
    png_byte signature[8];
    if (std::fread(signature, 1, sizeof signature, file) != sizeof signature) return false;
    return png_sig_cmp(signature, 0, sizeof signature) == 0;
}

// The sums of one row of the result, premultiplied, and how many source pixels went into each.
struct RowSums {
    std::vector<quint64> sums;  // r, g, b (each times alpha) and alpha, per result pixel
    std::vector<quint32> counts;
};

// Everything the decode writes lives outside the function that calls setjmp, so that libpng's
// jump back skips no destructor and leaves no variable undefined.
struct ScaleJob {
    png_uint_32 width = 0, height = 0;
    QSize out;
    QImage image;
    std::vector<png_byte> row;
    std::vector<int> columnOf;  // the result column of each source column
    RowSums acc;
    int accRow = -1;

    void flush() {
        if (accRow < 0) return;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(accRow));
        for (int x = 0; x < out.width(); ++x) {
            const quint64 n = acc.counts[size_t(x)];
            if (n == 0) continue;
            const quint64* s = &acc.sums[size_t(x) * 4];
            const quint64 a = s[3] / n;
            line[x] = qRgba(int(s[0] / (255 * n)), int(s[1] / (255 * n)), int(s[2] / (255 * n)), int(a));
        }
        std::fill(acc.sums.begin(), acc.sums.end(), 0);
        std::fill(acc.counts.begin(), acc.counts.end(), 0);
        accRow = -1;
    }

    void add(png_uint_32 y) {
        const int target = int(quint64(y) * quint64(out.height()) / height);
        if (target != accRow) {
            flush();
            accRow = target;
        }
        const png_byte* p = row.data();
        for (png_uint_32 x = 0; x < width; ++x, p += 4) {
            const size_t c = size_t(columnOf[x]);
            quint64* s = &acc.sums[c * 4];
            const quint64 a = p[3];
            s[0] += p[0] * a;
            s[1] += p[1] * a;
            s[2] += p[2] * a;
            s[3] += a;
            ++acc.counts[c];
        }
    }
};

// Reads the rows (libpng jumps back here on a damaged file). True when every row was read.
bool decodeRows(PngReader& reader, ScaleJob& job, int passes) {
    if (setjmp(png_jmpbuf(reader.png()))) return false;
    for (int pass = 0; pass < passes; ++pass) {
        const bool last = pass == passes - 1;
        for (png_uint_32 y = 0; y < job.height; ++y) {
            png_read_row(reader.png(), job.row.data(), nullptr);
            // Adam7's last pass brings the odd rows, whole; the passes before it fill no whole row.
            if (last && (passes == 1 || (y & 1))) job.add(y);
        }
    }
    job.flush();
    png_read_end(reader.png(), nullptr);
    return true;
}

// Sets the picture up to come as 8-bit RGBA rows (libpng jumps back here on a damaged header).
bool readHeader(PngReader& reader, FILE* file, ScaleJob& job, int* passes) {
    if (setjmp(png_jmpbuf(reader.png()))) return false;
    png_init_io(reader.png(), file);
    png_set_sig_bytes(reader.png(), 8);
    png_read_info(reader.png(), reader.info());
    job.width = png_get_image_width(reader.png(), reader.info());
    job.height = png_get_image_height(reader.png(), reader.info());
    const int colour = png_get_color_type(reader.png(), reader.info());
    png_set_expand(reader.png());    // palette to RGB, small greys to 8 bits, tRNS to alpha
    png_set_scale_16(reader.png());  // 16 bits a channel to 8
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(reader.png());
    if (!(colour & PNG_COLOR_MASK_ALPHA)) png_set_filler(reader.png(), 0xff, PNG_FILLER_AFTER);
    *passes = png_set_interlace_handling(reader.png());
    png_read_update_info(reader.png(), reader.info());
    return png_get_rowbytes(reader.png(), reader.info()) == size_t(job.width) * 4;
}

}  // namespace

std::optional<QImage> readScaledPng(const QString& path, QSize box, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("Cannot read the picture ") + path + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    UniqueFile file = openFile(path);
    if (!file) return fail(QStringLiteral("it cannot be opened"));
    if (!isPng(file.get())) return fail(QStringLiteral("it is no PNG"));
    PngReader reader;
    if (!reader.valid()) return fail(QStringLiteral("out of memory"));
    ScaleJob job;
    int passes = 1;
    if (!readHeader(reader, file.get(), job, &passes)) return fail(QString::fromUtf8(reader.message()));
    if (job.width == 0 || job.height == 0) return fail(QStringLiteral("it is empty"));
    if (qint64(job.width) * qint64(job.height) > kScaledPngMaxPixels)
        return fail(QStringLiteral("it has more than %1 pixels").arg(kScaledPngMaxPixels));
    if (passes > 1 && job.height < 2) return fail(QStringLiteral("an interlaced picture of one row"));
    const QSize stored(int(job.width), int(job.height));
    job.out = stored.width() <= box.width() && stored.height() <= box.height()
                  ? stored
                  : stored.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    // Interlaced, only every other row is read: no row of the result may be left without one.
    if (passes > 1) job.out.setHeight(std::min<int>(job.out.height(), int(job.height / 2)));
    job.image = QImage(job.out, QImage::Format_ARGB32_Premultiplied);
    if (job.image.isNull()) return fail(QStringLiteral("out of memory"));
    job.image.fill(Qt::transparent);
    job.row.resize(size_t(job.width) * 4);
    job.columnOf.resize(job.width);
    for (png_uint_32 x = 0; x < job.width; ++x)
        job.columnOf[x] = int(quint64(x) * quint64(job.out.width()) / job.width);
    job.acc.sums.assign(size_t(job.out.width()) * 4, 0);
    job.acc.counts.assign(size_t(job.out.width()), 0);
    if (!decodeRows(reader, job, passes)) return fail(QString::fromUtf8(reader.message()));
    return std::move(job.image);
}

}  // namespace qv::app
