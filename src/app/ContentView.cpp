#include "app/ContentView.h"

#include <QPalette>

namespace qv::app {

ContentView::ContentView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setMinimumSize(320, 200);
}

}  // namespace qv::app
