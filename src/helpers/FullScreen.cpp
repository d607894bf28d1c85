#include "helpers/FullScreen.h"

#include <QWidget>

namespace qv::app {

void toggleFullScreen(QWidget* window) {
    if (!window) return;
    window->setWindowState(window->windowState() ^ Qt::WindowFullScreen);
}

bool leaveFullScreen(QWidget* window) {
    if (!window || !(window->windowState() & Qt::WindowFullScreen)) return false;
    toggleFullScreen(window);
    return true;
}

}  // namespace qv::app
