#pragma once
// Reads a GIF back with giflib for the tests: every frame composed onto the canvas (disposal and
// transparency honoured), its delay, and whether any application extension (a loop count) is
// present.
#include <QImage>
#include <QString>

#include <gif_lib.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace qv::test {

struct DecodedGif {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<QImage> frames;  // composed, RGB32
    std::vector<int> delays;     // hundredths of a second, -1 without a control block
    bool hasApplicationExtension = false;
};

inline bool isApplicationBlock(const ExtensionBlock* blocks, int count) {
    for (int i = 0; i < count; ++i)
        if (blocks[i].Function == APPLICATION_EXT_FUNC_CODE) return true;
    return false;
}

inline DecodedGif decodeGif(const QString& path) {
    DecodedGif out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.toLocal8Bit().constData(), &error);
    if (!gif) return out;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return out;
    }
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    out.hasApplicationExtension = isApplicationBlock(gif->ExtensionBlocks, gif->ExtensionBlockCount);
    QImage canvas(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        out.hasApplicationExtension |= isApplicationBlock(image.ExtensionBlocks, image.ExtensionBlockCount);
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        const bool hasGcb = DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK;
        out.delays.push_back(hasGcb ? gcb.DelayTime : -1);
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        const QImage before = canvas;
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == gcb.TransparentColor || !map || index >= map->ColorCount) continue;
                const GifColorType c = map->Colors[index];
                if (d.Left + x < out.width && d.Top + y < out.height)
                    canvas.setPixel(d.Left + x, d.Top + y, qRgb(c.Red, c.Green, c.Blue));
            }
        }
        out.frames.push_back(canvas);
        if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = 0; y < d.Height; ++y)
                for (int x = 0; x < d.Width; ++x)
                    if (d.Left + x < out.width && d.Top + y < out.height) canvas.setPixel(d.Left + x, d.Top + y, qRgb(0, 0, 0));
        } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
            canvas = before;
        }
    }
    DGifCloseFile(gif, &error);
    out.ok = true;
    return out;
}

// Peak signal-to-noise ratio in dB over the RGB channels (99 for identical pictures).
inline double psnr(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size()) return 0;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const double dr = qRed(p[col]) - qRed(q[col]), dg = qGreen(p[col]) - qGreen(q[col]),
                         db = qBlue(p[col]) - qBlue(q[col]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * x.width() * x.height());
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Mean absolute difference per channel (0 to 255).
inline double meanAbsoluteError(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

}  // namespace qv::test
