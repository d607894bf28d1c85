#pragma once
// The named images and colours of the media library's views, drawn from our own pictures
// (resources/icons/<name>.svg, compiled in).
#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace qv::library {

// "hover_color": the circle behind a favorited item's star.
inline const QColor hoverColor{0x4D, 0xB8, 0xFF};

// The background of every list of files (calibrated red 0.49, green 0.49, blue 0.50).
inline const QColor tableBackground = QColor::fromRgbF(0.49f, 0.49f, 0.50f);

// The named image drawn at `size`; a null pixmap for an unknown name.
QPixmap libraryImage(const QString& name, QSize size);

}  // namespace qv::library
