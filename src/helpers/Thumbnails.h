#pragma once
// Thumbnails of captures and library files: pictures, PDF first pages and movie frames, at most
// 256 x 144, made on a worker thread.
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace qv::app {

using ThumbnailCompletion = std::function<void(std::optional<QImage> image, std::optional<QString> error)>;

enum class ThumbnailRepresentationType { lowQualityThumbnail };

inline constexpr int thumbnailWidth = 256;
inline constexpr int thumbnailHeight = 144;

// Starts a thumbnail of `path`; `completion` runs later on a worker thread (never the main
// thread): hop to the main thread before touching a view.
void generateThumbnail(const QString& path, ThumbnailCompletion completion);

// Adapts a thumbnail result to the completion: no image or an error gives (none, error),
// otherwise (image, none). The representation type is not looked at.
void thumbnailCompletion(const std::optional<QImage>& representation, ThumbnailRepresentationType type,
                         const std::optional<QString>& error, const ThumbnailCompletion& completion);

// The same work synchronously on the calling thread (what the worker runs).
std::optional<QImage> makeThumbnail(const QString& path, QString* error);

// A plain picture of a page, 256 x 144, for a file whose own picture cannot be made. Any thread.
QImage genericThumbnail();

}  // namespace qv::app
