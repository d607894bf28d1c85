#include "controlbar/QVImageButton.h"

#include <QCursor>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <cmath>

#include "controlbar/NamedImages.h"

namespace qv::controlbar {

QVImageButton::QVImageButton(const QString& icon, const QString& text, const QString& tooltip,
                             std::optional<QColor> color, Action action, QWidget* parent)
    : QWidget(parent),
      icon_(icon),
      text_(text),
      tooltip_(tooltip),
      color_(std::move(color)),
      action_(std::move(action)),
      iconLabel_(new QLabel(this)),
      textLabel_(new QLabel(text, this)) {
    setObjectName(icon);
    setAccessibleName(text);
    setMinimumSize(button_width, button_height);
    setAttribute(Qt::WA_Hover);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(iconLabel_, 0, Qt::AlignHCenter);
    layout->addWidget(textLabel_, 0, Qt::AlignHCenter);
    layout->addStretch();
    iconLabel_->setContentsMargins(0, 4, 0, 0);
    iconLabel_->setAlignment(Qt::AlignCenter);
    textLabel_->setAlignment(Qt::AlignCenter);
    textLabel_->setTextFormat(Qt::PlainText);
    // The labels never take the pointer: the whole cell hovers and clicks.
    iconLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    textLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    refreshIcon();
    refreshLabel();
}

QSize QVImageButton::iconSize() const {
    const double aspect = namedImageAspect(icon_);
    if (aspect >= 1.0) return {icon_width, int(std::lround(icon_height / aspect))};
    return {int(std::lround(icon_width * aspect)), icon_height};
}

QColor QVImageButton::labelColor() const {
    if (hovered_) return hoverColor;
    return color_ ? *color_ : QColor();
}

void QVImageButton::refreshIcon() {
    const qreal ratio = devicePixelRatioF();
    iconLabel_->setPixmap(color_ ? tintedImage(icon_, iconSize(), *color_, ratio) : namedImage(icon_, iconSize(), ratio));
}

void QVImageButton::refreshLabel() {
    QPalette p = textLabel_->palette();
    const QColor c = labelColor();
    p.setColor(QPalette::WindowText, c.isValid() ? c : palette().color(QPalette::WindowText));
    textLabel_->setPalette(p);
}

void QVImageButton::setHovered(bool hovered) {
    if (hovered_ == hovered) return;
    hovered_ = hovered;
    refreshLabel();
}

void QVImageButton::syncHoverWithPointer() {
    setHovered(isVisible() && rect().contains(mapFromGlobal(QCursor::pos())));
}

// A button made or moved under a resting pointer may hear of it before it lies where it finally
// does: the bar checks the pointer's place again once it is laid out (syncHoverWithPointer).
void QVImageButton::enterEvent(QEnterEvent* event) { setHovered(rect().contains(event->position().toPoint())); }
void QVImageButton::leaveEvent(QEvent*) { setHovered(false); }

void QVImageButton::mousePressEvent(QMouseEvent* event) {
    pressedInside_ = event->button() == Qt::LeftButton;
    event->accept();
}

void QVImageButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressedInside_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressedInside_ = false;
    event->accept();
    // The action may rebuild the bar and delete this button: nothing of it is used afterwards.
    if (click && action_) {
        Action action = action_;
        action();
    }
}

void QVImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) refreshLabel();
    QWidget::changeEvent(event);
}

}  // namespace qv::controlbar
