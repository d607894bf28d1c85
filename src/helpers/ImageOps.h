#pragma once
#include <QImage>

namespace qv::app {

// The image turned counter-clockwise by `degrees` (truncated toward zero first) into a canvas
// that holds the whole turned image; a multiple of 360 returns the image itself, unshared copies
// and all. Angles that are not finite also return the image itself.
QImage rotated(const QImage& image, double degrees);

// Each colour channel inverted, alpha kept; a null image comes back unchanged.
QImage inverted(const QImage& image);

}  // namespace qv::app
