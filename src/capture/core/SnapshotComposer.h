#pragma once
// Composition of one snapshot from its layers (camera photo, whiteboard page, browser page), the
// capture file names and the PNG file write. Everything here works on plain images, so it runs on
// any thread.
#include <QDateTime>
#include <QImage>
#include <QRectF>
#include <QSet>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

namespace qv::capture {

// Turns an image by whole degrees, positive counter-clockwise as seen on screen. Multiples of
// 360 give the same image; the new size is the rotated size (width and height swap at 90).
QImage rotatedImage(const QImage& image, double degrees);
// Colour inversion, alpha kept.
QImage invertedImage(const QImage& image);
// The largest rectangle of the given aspect ratio centred inside bounds.
QRectF aspectFitRect(const QSizeF& aspect, const QRectF& bounds);

struct SnapshotLayers {
    std::shared_ptr<const QImage> photo;  // the camera frame; null: composed without it
    double rotation = 0;                  // the camera view's rotation, degrees
    bool mirrorHorizontal = false;
    std::optional<QRectF> previewFrame;  // the picture's layer frame P (origin bottom-left); none: no photo
    QSizeF containerSize;                // the whiteboard container C, one pixel per point
    std::optional<QImage> boardImage;    // drawn at the origin at its own size
    struct Browser {
        QImage image;
        QRectF containerFrame;  // B, in top-left coordinates of the window's container
        double opacity = 1.0;
        bool invert = false;
    };
    std::optional<Browser> browser;
};

// The composed picture, or a null image when the container size gives no bitmap.
QImage composeSnapshot(const SnapshotLayers& layers);

// "yyyyMMdd_HHmmss" of the given local time plus the extension (".png", ".mp4").
QString makeCaptureFileName(const QString& extension, const QDateTime& now = QDateTime::currentDateTime());

// Hands out capture file names that neither exist in the folder nor are held by a write still in
// flight: the second snapshot of one second gets "_1" before the extension, the third "_2", ...
class CaptureNameReservations {
public:
    static CaptureNameReservations& shared();
    // The absolute path reserved; release it once the file is written (or given up).
    QString reserve(const QString& folder, const QString& extension, const QDateTime& now = QDateTime::currentDateTime());
    void release(const QString& path);

private:
    std::mutex mutex_;
    QSet<QString> held_;
};

// Encodes PNG (fast compression) and writes the file whole. Returns an empty text on success,
// else the error.
QString writePngFile(const QImage& image, const QString& path);

}  // namespace qv::capture
