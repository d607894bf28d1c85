#pragma once
// The named images and colours of the control bar and the panels around it. The images are our
// own drawings compiled into the program (":/icons/<name>"); the colours are constants.
#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace qv::controlbar {

// "red_color": the colour of the Resume and stop-recording buttons.
inline const QColor redColor{0xE0, 0x30, 0x2A};
// "hover_color": the label colour of an image button under the pointer.
inline const QColor hoverColor{0x4D, 0xB8, 0xFF};

// True when an image of that name is among the program's resources.
bool hasNamedImage(const QString& name);
// The named image drawn at `size` (device-independent pixels, for the given pixel ratio);
// a null pixmap for an unknown name.
QPixmap namedImage(const QString& name, QSize size, qreal devicePixelRatio = 1.0);
// The named image in one colour: its shape filled with `color` (template drawing).
QPixmap tintedImage(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio = 1.0);
// The image's own aspect ratio (width / height), 1 when unknown.
double namedImageAspect(const QString& name);

}  // namespace qv::controlbar
