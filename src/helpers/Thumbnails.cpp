#include "helpers/Thumbnails.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPdfDocument>
#include <QThreadPool>

#include <algorithm>

#include "helpers/ScaledPng.h"
#include "helpers/gst/MovieFrame.h"

namespace qv::app {

namespace {

QImage fitted(const QImage& image) {
    if (image.width() <= thumbnailWidth && image.height() <= thumbnailHeight) return image;
    return image.scaled(thumbnailWidth, thumbnailHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// A picture read at thumbnail size: the reader decodes it scaled (a JPEG at a fraction of its
// size), so a photo of any size gets a thumbnail without the whole picture in memory, and Qt's
// limit on image allocations never refuses it.
std::optional<QImage> pictureThumbnail(const QString& path, QString* error) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    // Qt's PNG reader decodes the whole of a 16-bit picture even when asked for a smaller size,
    // and refuses one past its allocation limit: a PNG whose whole decode could pass 128 MB (or a
    // lower limit) at 8 bytes a pixel is read a row at a time instead.
    const int limitMb = QImageReader::allocationLimit();
    const qint64 wholeDecodeMax = qint64(limitMb > 0 ? std::min(limitMb, 128) : 128) * 1024 * 1024;
    if (reader.format() == "png" && stored.isValid() &&
        qint64(stored.width()) * stored.height() * 8 > wholeDecodeMax) {
        std::optional<QImage> image = readScaledPng(path, QSize(thumbnailWidth, thumbnailHeight), error);
        return image ? std::optional<QImage>(fitted(*image)) : std::nullopt;
    }
    if (stored.isValid()) {
        // The scaled size is that of the stored picture, before the reader turns it upright.
        QSize box(thumbnailWidth, thumbnailHeight);
        if (reader.transformation() & QImageIOHandler::TransformationRotate90) box.transpose();
        if (stored.width() > box.width() || stored.height() > box.height())
            reader.setScaledSize(stored.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        *error = QStringLiteral("Cannot read the picture ") + path + ": " + reader.errorString();
        return std::nullopt;
    }
    return fitted(image);
}

std::optional<QImage> pdfThumbnail(const QString& path, QString* error) {
    QPdfDocument pdf;
    if (pdf.load(path) != QPdfDocument::Error::None || pdf.pageCount() < 1) {
        *error = QStringLiteral("Cannot read the PDF ") + path;
        return std::nullopt;
    }
    QSizeF page = pdf.pagePointSize(0);
    QSize size = page.toSize().scaled(thumbnailWidth, thumbnailHeight, Qt::KeepAspectRatio);
    QImage image = pdf.render(0, size.expandedTo(QSize(1, 1)));
    if (image.isNull()) {
        *error = QStringLiteral("Cannot draw the PDF ") + path;
        return std::nullopt;
    }
    return image;
}

}  // namespace

std::optional<QImage> makeThumbnail(const QString& path, QString* error) {
    QString why;
    if (!QFileInfo(path).isFile()) {
        if (error) *error = QStringLiteral("No such file: ") + path;
        return std::nullopt;
    }
    const QString mime = QMimeDatabase().mimeTypeForFile(path).name();
    std::optional<QImage> result;
    if (mime == "application/pdf") {
        result = pdfThumbnail(path, &why);
    } else if (mime.startsWith("video/")) {
        // Generous: a recording is announced only with its thumbnail, and a busy machine may take
        // a while to decode the first frame.
        result = gst::grabMovieFrame(path, thumbnailWidth, thumbnailHeight, &why, 30000);
    } else {
        result = pictureThumbnail(path, &why);
    }
    if (!result && error) *error = why;
    return result;
}

QImage genericThumbnail() {
    QImage image(thumbnailWidth, thumbnailHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x5a, 0x5f, 0x66));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A sheet with its top-right corner folded over, and a few lines of text on it.
    const QRectF sheet(thumbnailWidth / 2.0 - 36, 16, 72, 112);
    const qreal fold = 20;
    QPainterPath outline;
    outline.moveTo(sheet.topLeft());
    outline.lineTo(sheet.right() - fold, sheet.top());
    outline.lineTo(sheet.right(), sheet.top() + fold);
    outline.lineTo(sheet.bottomRight());
    outline.lineTo(sheet.bottomLeft());
    outline.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xee, 0xee, 0xee));
    p.drawPath(outline);
    QPainterPath corner;
    corner.moveTo(sheet.right() - fold, sheet.top());
    corner.lineTo(sheet.right() - fold, sheet.top() + fold);
    corner.lineTo(sheet.right(), sheet.top() + fold);
    corner.closeSubpath();
    p.setBrush(QColor(0xb8, 0xb8, 0xb8));
    p.drawPath(corner);
    p.setPen(QPen(QColor(0x9a, 0x9a, 0x9a), 4, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 5; ++i) {
        const qreal y = sheet.top() + 40 + i * 14;
        p.drawLine(QPointF(sheet.left() + 12, y), QPointF(sheet.right() - (i == 4 ? 30 : 12), y));
    }
    return image;
}

void thumbnailCompletion(const std::optional<QImage>& representation, ThumbnailRepresentationType,
                         const std::optional<QString>& error, const ThumbnailCompletion& completion) {
    if (!representation || error) {
        completion(std::nullopt, error);
        return;
    }
    completion(representation, std::nullopt);
}

void generateThumbnail(const QString& path, ThumbnailCompletion completion) {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(2);
        return p;
    }();
    pool->start([path, completion = std::move(completion)] {
        QString error;
        std::optional<QImage> image = makeThumbnail(path, &error);
        std::optional<QString> err;
        if (!image) err = error;
        thumbnailCompletion(image, ThumbnailRepresentationType::lowQualityThumbnail, err, completion);
    });
}

}  // namespace qv::app
