#pragma once
// A phone photo's worth of picture: a JPEG of `width` x `height` (48 MP by default), red on its
// left half and blue on its right, so that a thumbnail of it can be told apart from a blank one.
// Decoded whole it needs more memory than Qt allows one image (128 MB); a thumbnail must be read
// scaled.
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QString>

namespace qv::test {

inline bool writeBigPhoto(const QString& path, int width = 8000, int height = 6000) {
    QImage photo(width, height, QImage::Format_RGB888);
    photo.fill(Qt::red);
    QPainter(&photo).fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    QImageWriter writer(path, "jpeg");
    writer.setQuality(80);
    return writer.write(photo);
}

}  // namespace qv::test
