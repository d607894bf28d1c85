#pragma once
// A PNG read at thumbnail size one row at a time, for pictures whose whole decode Qt's reader
// would refuse or should not make (a 16-bit 8000 x 6000 picture is 384 MB decoded, and Qt's PNG
// reader decodes the whole of a 16-bit picture even when asked for a smaller size). Memory grows
// with the picture's width only: a row or two and the sums of one row of the result. Any thread.
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace qv::app {

// The most pixels a picture may have (decoding them takes time, never memory).
inline constexpr qint64 kScaledPngMaxPixels = 400'000'000;

// The picture at `path` scaled into `box` (keeping its proportions; never larger than it is), in
// 8 bits a channel with its transparency, each pixel of the result the average of those it
// stands for. Interlaced pictures are made of their last pass (every other row, whole). None,
// with `error` set, when the file is no PNG, is damaged, or has more than kScaledPngMaxPixels.
std::optional<QImage> readScaledPng(const QString& path, QSize box, QString* error);

}  // namespace qv::app
