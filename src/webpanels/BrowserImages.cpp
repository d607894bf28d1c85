#include "webpanels/BrowserImages.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include "state/Resources.h"

namespace qv::webpanels {

QPixmap browserImage(const QString& name, QSize size, qreal devicePixelRatio) {
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    const QString path = app::resourcePath(QStringLiteral("icons/") + name + QStringLiteral(".svg"));
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return pixmap;
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

BrowserImageButton::BrowserImageButton(const QString& image, int side, int margin, QWidget* parent)
    : QAbstractButton(parent), image_(image), side_(side), margin_(margin) {
    setObjectName(image);
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void BrowserImageButton::setImage(const QString& image) {
    image_ = image;
    setObjectName(image);
    update();
}

void BrowserImageButton::setImageOpacity(double opacity) {
    opacity_ = opacity;
    update();
}

QSize BrowserImageButton::sizeHint() const { return QSize(side_ + 2 * margin_, side_ + 2 * margin_); }

void BrowserImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(isDown() ? opacity_ * 0.6 : opacity_);
    painter.drawPixmap(margin_, margin_, browserImage(image_, QSize(side_, side_), devicePixelRatioF()));
}

}  // namespace qv::webpanels
