#include "helpers/Thumbnails.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPdfDocument>
#include <QThreadPool>

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
