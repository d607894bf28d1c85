#pragma once
// Small helpers of the media-library tests: pictures on disk, mouse events sent to a widget.
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

#include "library/LibraryFile.h"

namespace qv::test {

// Writes a w x h PNG filled with `color`; returns its path.
inline QString writePng(const QString& path, QColor color, int w = 64, int h = 36) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    image.save(path, "PNG");
    return path;
}

inline library::LibraryFilePtr itemWithPicture(const QString& path) {
    auto item = library::makeLibraryFile(QUrl::fromLocalFile(path));
    QImage picture(64, 36, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    item->thumbnailImage = picture;
    return item;
}

inline void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                         ? Qt::MouseButtons(Qt::NoButton)
                                         : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapTo(w->window(), pos)), QPointF(w->mapToGlobal(pos)),
                  type == QEvent::MouseMove ? Qt::NoButton : button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline void hoverAt(QWidget* w, QPoint pos) { sendMouse(w, QEvent::MouseMove, pos); }

inline void clickAt(QWidget* w, QPoint pos) {
    sendMouse(w, QEvent::MouseButtonPress, pos);
    sendMouse(w, QEvent::MouseButtonRelease, pos);
}

}  // namespace qv::test
