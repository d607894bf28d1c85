#include "controlbar/NamedImages.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace, as the resource initialiser requires.
static void initIconResources() { Q_INIT_RESOURCE(qv_icons); }

namespace qv::controlbar {

namespace {
QString resourcePath(const QString& name) {
    static const bool initialised = [] {
        initIconResources();
        return true;
    }();
    (void)initialised;
    return QStringLiteral(":/icons/") + name;
}
}  // namespace

bool hasNamedImage(const QString& name) { return !name.isEmpty() && QFile::exists(resourcePath(name)); }

double namedImageAspect(const QString& name) {
    QSvgRenderer renderer(resourcePath(name));
    const QSizeF s = renderer.defaultSize();
    return renderer.isValid() && s.height() > 0 ? s.width() / s.height() : 1.0;
}

QPixmap namedImage(const QString& name, QSize size, qreal devicePixelRatio) {
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid() || size.isEmpty()) return {};
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QPixmap tintedImage(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio) {
    QPixmap pixmap = namedImage(name, size, devicePixelRatio);
    if (pixmap.isNull()) return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), color);
    return pixmap;
}

}  // namespace qv::controlbar
