#pragma once
// The background of the program's floating panels: their whole rectangle filled in one colour
// with rounded corners of radius 10, drawn antialiased.
#include <QColor>

class QWidget;

namespace qv::app {

// Paints the background of `widget`; call it from the widget's paintEvent.
void paintRoundedBackground(QWidget& widget, const QColor& colour);

}  // namespace qv::app
