#include "library/RoundedPanel.h"

#include <QPainter>
#include <QPainterPath>

namespace qv::library {

RoundedPanel::RoundedPanel(QColor background, QWidget* parent) : QWidget(parent), background_(background) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 10, 10);
    p.fillPath(path, background_);
}

}  // namespace qv::library
