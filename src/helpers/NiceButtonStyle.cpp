#include "helpers/NiceButtonStyle.h"

#include <QAbstractButton>
#include <QStyleOption>

namespace qv::app {

QString NiceButtonStyle::styleSheet() const {
    return QStringLiteral(
               "QAbstractButton { color: %1; background-color: %2; padding: 5px; border: none;"
               " border-radius: 5px; font-weight: 600; font-size: 13pt; }"
               "QAbstractButton:pressed { background-color: %3; }")
        .arg(foregroundColor.name(QColor::HexArgb), backgroundColor.name(QColor::HexArgb),
             pressedColor.name(QColor::HexArgb));
}

void NiceButtonStyle::apply(QAbstractButton* button) const { button->setStyleSheet(styleSheet()); }

void NoFocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
    if (element == PE_FrameFocusRect && widget && widget->inherits("QLineEdit")) return;
    if (element == PE_PanelLineEdit || element == PE_FrameLineEdit) {
        QStyleOption copy(*option);
        if (auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option)) {
            QStyleOptionFrame f(*frame);
            f.state &= ~State_HasFocus;
            QProxyStyle::drawPrimitive(element, &f, painter, widget);
            return;
        }
        copy.state &= ~State_HasFocus;
        QProxyStyle::drawPrimitive(element, &copy, painter, widget);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

}  // namespace qv::app
