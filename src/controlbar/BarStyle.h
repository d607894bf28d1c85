#pragma once
// The look shared by the bar and its popovers: white foreground over the standard grey at 80 %.
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace qv::controlbar {

inline QColor barBackground() { return QColor(128, 128, 128, 204); }

inline void applyBarForeground(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Text, Qt::white);
    w->setPalette(p);
}

}  // namespace qv::controlbar
