#include "helpers/RoundedBackground.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace qv::app {

void paintRoundedBackground(QWidget& widget, const QColor& colour) {
    QPainter p(&widget);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(widget.rect()), 10, 10);
    p.fillPath(path, colour);
}

}  // namespace qv::app
