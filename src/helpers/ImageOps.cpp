#include "helpers/ImageOps.h"

#include <QPainter>
#include <QTransform>

#include <cmath>

namespace qv::app {

QImage rotated(const QImage& image, double degrees) {
    if (!std::isfinite(degrees) || std::fabs(degrees) > 1e9) return image;
    const long whole = static_cast<long>(std::trunc(degrees));
    if (whole % 360 == 0 || image.isNull()) return image;

    // Counter-clockwise on screen: with y pointing down that is a negative angle for QTransform.
    const double radians = whole * M_PI / 180.0;
    const double w = image.width(), h = image.height();
    const double c = std::cos(radians), s = std::sin(radians);
    const int newW = static_cast<int>(std::lround(std::fabs(w * c - h * s)));
    const int newH = static_cast<int>(std::lround(std::fabs(w * s + h * c)));

    QImage out(std::max(newW, 1), std::max(newH, 1), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.translate(out.width() / 2.0, out.height() / 2.0);
    p.rotate(-static_cast<double>(whole));
    p.translate(-w / 2.0, -h / 2.0);
    p.drawImage(QPointF(0, 0), image);
    p.end();
    return out;
}

QImage inverted(const QImage& image) {
    if (image.isNull()) return image;
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    out.invertPixels(QImage::InvertRgb);
    return out;
}

}  // namespace qv::app
