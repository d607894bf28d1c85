#pragma once
// A large PNG written a row at a time (never the whole picture in memory): 16 bits a channel, red
// on its left half and blue on its right (black and white in grey), so that a thumbnail of it can
// be told apart from a blank one. A 16-bit 8000 x 6000 RGBA picture is 384 MB decoded, three times
// what Qt allows one image. Link PNG::PNG.
#include <QFile>
#include <QString>

#include <png.h>

#include <cstdio>
#include <vector>

namespace qv::test {

enum class BigPngKind { rgba16, greyAlpha16Interlaced };

inline bool writeBigPng(const QString& path, int width, int height, BigPngKind kind = BigPngKind::rgba16) {
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    const bool grey = kind == BigPngKind::greyAlpha16Interlaced;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 16,
                 grey ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_RGB_ALPHA,
                 grey ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int channels = grey ? 2 : 4;
    std::vector<png_byte> row(size_t(width) * size_t(channels) * 2);
    for (int x = 0; x < width; ++x) {
        png_byte* p = &row[size_t(x) * size_t(channels) * 2];
        const bool left = x < width / 2;
        // Big-endian samples: full (0xffff) or none.
        const auto sample = [&](int i, bool on) { p[2 * i] = p[2 * i + 1] = on ? 0xff : 0x00; };
        if (grey) {
            sample(0, !left);
            sample(1, true);
        } else {
            sample(0, left);
            sample(1, false);
            sample(2, !left);
            sample(3, true);
        }
    }
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < height; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

}  // namespace qv::test
