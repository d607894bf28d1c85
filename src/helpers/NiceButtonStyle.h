#pragma once
// The text-button style of the whole program, and the rule that text fields draw no focus ring.
#include <QColor>
#include <QProxyStyle>
#include <QString>

class QAbstractButton;

namespace qv::app {

struct NiceButtonStyle {
    QColor foregroundColor;
    QColor backgroundColor;
    QColor pressedColor;

    // Headline font, 5 points of padding, pressedColor only while pressed, corner radius 5.
    QString styleSheet() const;
    void apply(QAbstractButton* button) const;
};

// Application style that never draws a focus ring on text fields.
class NoFocusRingStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace qv::app
