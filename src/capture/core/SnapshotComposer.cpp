#include "capture/core/SnapshotComposer.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QTransform>

#include <cmath>

namespace qv::capture {

QImage rotatedImage(const QImage& image, double degrees) {
    if (!std::isfinite(degrees)) return image;
    const long long whole = static_cast<long long>(std::trunc(degrees));
    if (whole % 360 == 0) return image;
    QTransform turn;
    turn.rotate(-double(whole));  // screen y grows downwards: negative is counter-clockwise
    return image.transformed(turn, Qt::SmoothTransformation);
}

QImage invertedImage(const QImage& image) {
    QImage out = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    out.invertPixels(QImage::InvertRgb);
    return out;
}

QRectF aspectFitRect(const QSizeF& aspect, const QRectF& bounds) {
    if (aspect.isEmpty() || bounds.isEmpty()) return QRectF(bounds.center(), QSizeF(0, 0));
    const QSizeF size = aspect.scaled(bounds.size(), Qt::KeepAspectRatio);
    return QRectF(bounds.x() + (bounds.width() - size.width()) / 2, bounds.y() + (bounds.height() - size.height()) / 2,
                  size.width(), size.height());
}

QImage composeSnapshot(const SnapshotLayers& layers) {
    const double cw = layers.containerSize.width();
    const double ch = layers.containerSize.height();
    if (!std::isfinite(cw) || !std::isfinite(ch)) return {};
    const int width = static_cast<int>(std::trunc(cw));
    const int height = static_cast<int>(std::trunc(ch));
    if (width <= 0 || height <= 0) return {};
    QImage bitmap(width, height, QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull()) return {};
    bitmap.fill(Qt::transparent);

    // Drawing positions below are given with the origin at the bottom-left corner; this turns a
    // rectangle of that kind into the image's top-left coordinates.
    auto flipped = [height](const QRectF& r) { return QRectF(r.x(), height - r.y() - r.height(), r.width(), r.height()); };

    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (layers.photo && !layers.photo->isNull() && layers.previewFrame) {
        const QImage photo =
            rotatedImage(*layers.photo, layers.mirrorHorizontal ? layers.rotation : -layers.rotation);
        const QRectF& p = *layers.previewFrame;
        const QRectF bounds = photo.width() > photo.height() ? p : QRectF(p.y(), p.x(), p.height(), p.width());
        const QRectF r = aspectFitRect(QSizeF(photo.size()), bounds);
        painter.drawImage(flipped(r), photo);
    }
    if (layers.boardImage && !layers.boardImage->isNull()) {
        const QImage& board = *layers.boardImage;
        painter.drawImage(flipped(QRectF(QPointF(0, 0), QSizeF(board.size()))), board);
    }
    if (layers.browser && !layers.browser->image.isNull()) {
        const auto& b = *layers.browser;
        const QImage page = b.invert ? invertedImage(b.image) : b.image;
        const double y = ch - b.containerFrame.y() - b.containerFrame.height() + 10;
        painter.setOpacity(b.opacity);
        painter.drawImage(flipped(QRectF(QPointF(b.containerFrame.x(), y), QSizeF(page.size()))), page);
    }
    painter.end();
    return bitmap;
}

QString makeCaptureFileName(const QString& extension, const QDateTime& now) {
    return now.toString(QStringLiteral("yyyyMMdd_HHmmss")) + extension;
}

CaptureNameReservations& CaptureNameReservations::shared() {
    static CaptureNameReservations reservations;
    return reservations;
}

QString CaptureNameReservations::reserve(const QString& folder, const QString& extension, const QDateTime& now) {
    const QString stem = makeCaptureFileName(QString(), now);
    const QDir dir(folder);
    std::lock_guard lock(mutex_);
    for (int n = 0;; ++n) {
        const QString name = n == 0 ? stem + extension : stem + QLatin1Char('_') + QString::number(n) + extension;
        const QString path = dir.absoluteFilePath(name);
        if (held_.contains(path) || QFileInfo::exists(path)) continue;
        held_.insert(path);
        return path;
    }
}

void CaptureNameReservations::release(const QString& path) {
    std::lock_guard lock(mutex_);
    held_.remove(path);
}

QString writePngFile(const QImage& image, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    QImageWriter writer(&file, "png");
    writer.setQuality(80);  // zlib level 1: a fraction of the default level's time, slightly larger files
    if (!writer.write(image)) {
        file.cancelWriting();
        return writer.errorString();
    }
    if (!file.commit()) return file.errorString();
    return {};
}

}  // namespace qv::capture
