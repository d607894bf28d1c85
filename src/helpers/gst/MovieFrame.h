#pragma once
#include <QImage>
#include <QString>

#include <optional>

namespace qv::gst {

// One early frame of a movie file, scaled to fit `maxWidth` x `maxHeight` (aspect kept).
// Blocks the calling thread (at most `timeoutMs`): call it off the main thread. On failure the
// result is empty and `error` holds a description.
std::optional<QImage> grabMovieFrame(const QString& path, int maxWidth, int maxHeight, QString* error = nullptr,
                                     int timeoutMs = 5000);

}  // namespace qv::gst
