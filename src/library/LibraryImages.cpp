#include "library/LibraryImages.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace, as the resource initialiser requires.
static void initLibraryIcons() { Q_INIT_RESOURCE(qv_library_icons); }

namespace qv::library {

QPixmap libraryImage(const QString& name, QSize size) {
    // Drawn once per name and size: cells repaint often.
    static QHash<QString, QPixmap> cache;
    const QString key = QStringLiteral("%1@%2x%3").arg(name).arg(size.width()).arg(size.height());
    if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
    static const bool initialised = [] {
        initLibraryIcons();
        return true;
    }();
    (void)initialised;
    QSvgRenderer renderer(QStringLiteral(":/library-icons/") + name);
    QPixmap pixmap;
    if (renderer.isValid() && !size.isEmpty()) {
        pixmap = QPixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    cache.insert(key, pixmap);
    return pixmap;
}

}  // namespace qv::library
