// The GIF benchmark's helper.
//   qv_gif_bench export OUT.gif INTERVAL FRAME...   writes the GIF with our encoder
//   qv_gif_bench psnr GIF FRAME...                  mean PSNR of the decoded frames against FRAME...
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "library/GifDecode.h"
#include "library/GifEncoder.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s export OUT.gif INTERVAL FRAME... | psnr GIF FRAME...\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "export") == 0) {
        std::vector<qv::library::GifFrameInput> frames;
        for (int i = 4; i < argc; ++i) frames.push_back({QString::fromLocal8Bit(argv[i]), QString::fromLocal8Bit(argv[i])});
        qv::library::GifEncoderOptions options;
        options.intervalSeconds = std::atof(argv[3]);
        // For trying other settings by hand: QV_GIF_SPEED, QV_GIF_THREADS, QV_GIF_DITHER.
        if (const char* v = std::getenv("QV_GIF_SPEED")) options.speed = std::atoi(v);
        if (const char* v = std::getenv("QV_GIF_THREADS")) options.threads = std::atoi(v);
        if (const char* v = std::getenv("QV_GIF_DITHER")) options.dithering = float(std::atof(v));
        const auto result = qv::library::writeGif(QString::fromLocal8Bit(argv[2]), frames, options);
        if (!result.ok) {
            std::fprintf(stderr, "export failed: %s\n", result.error.toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }
    if (std::strcmp(argv[1], "psnr") == 0) {
        const auto gif = qv::test::decodeGif(QString::fromLocal8Bit(argv[2]));
        const int expected = argc - 3;
        if (!gif.ok || int(gif.frames.size()) != expected) {
            std::fprintf(stderr, "%s: %zu frames decoded, %d expected\n", argv[2], gif.frames.size(), expected);
            return 1;
        }
        double sum = 0;
        for (int i = 0; i < expected; ++i) {
            QImage source(QString::fromLocal8Bit(argv[3 + i]));
            if (source.size() != gif.frames[size_t(i)].size())
                source = source.scaled(gif.frames[size_t(i)].size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            sum += qv::test::psnr(gif.frames[size_t(i)], source);
        }
        std::printf("%.2f\n", sum / expected);
        return 0;
    }
    return 2;
}
