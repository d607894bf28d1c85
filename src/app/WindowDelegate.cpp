#include "app/WindowDelegate.h"

#include "app/MainWindow.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace qv::app {

namespace {
QWidget* firstWindow() {
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows)
        if (w->isWindow() && w->isVisible() && w->windowType() == Qt::Window) return w;
    return nullptr;
}
}  // namespace

void WindowDelegate::windowDidExitFullScreen() {
    QWidget* w = firstWindow();
    if (!w) return;
    // The frame to return to: the main window's normal frame. Its geometry now is still the
    // screen's, until the window manager has restored it.
    auto* main = qobject_cast<MainWindow*>(w);
    const QRect frame = main && !main->normalFrame().isEmpty() ? main->normalFrame() : w->geometry();
    w->setUpdatesEnabled(false);
    w->setGeometry(frame.translated(1, 0));
    w->setUpdatesEnabled(true);
    if (QWidget* again = firstWindow()) again->setGeometry(frame);
}

bool WindowDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        auto* change = static_cast<QWindowStateChangeEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (change->oldState() & Qt::WindowFullScreen) && !(widget->windowState() & Qt::WindowFullScreen))
            windowDidExitFullScreen();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace qv::app
