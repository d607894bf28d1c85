#include "controlbar/Popover.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScreen>

#include "controlbar/BarStyle.h"

namespace qv::controlbar {

Popover::Popover(const QString& name, QWidget* parent) : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint) {
    setObjectName(name);
    setAttribute(Qt::WA_TranslucentBackground);
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(8, 5, 8, 5);
    applyBarForeground(this);
}

void Popover::setRow(const std::vector<QWidget*>& widgets) { setContent(widgets, false, Qt::AlignVCenter); }

void Popover::setColumn(const std::vector<QWidget*>& widgets, Qt::Alignment alignment) {
    setContent(widgets, true, alignment);
}

void Popover::setContent(const std::vector<QWidget*>& widgets, bool vertical, Qt::Alignment alignment) {
    row_->setDirection(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    while (QLayoutItem* item = row_->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    row_->addStretch();
    for (QWidget* w : widgets) {
        row_->addWidget(w, 0, alignment);
        w->show();
    }
    row_->addStretch();
    adjustSize();
}

void Popover::setPadding(const QMargins& padding) {
    row_->setContentsMargins(padding);
    adjustSize();
}

void Popover::popUp(QWidget* anchor) {
    anchor_ = anchor;
    adjustSize();
    placeAboveAnchor();
    show();
}

void Popover::placeAboveAnchor() {
    if (!anchor_) return;
    const QPoint top = anchor_->mapToGlobal(QPoint(anchor_->width() / 2, 0));
    // The bottom edge 4 points above the button, however tall the content is.
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(QPoint(top.x(), top.y() - height() / 2 - 4));
    if (QScreen* screen = anchor_->screen()) {
        const QRect area = screen->geometry();
        if (frame.right() > area.right()) frame.moveRight(area.right());
        if (frame.left() < area.left()) frame.moveLeft(area.left());
        if (frame.top() < area.top()) frame.moveTop(anchor_->mapToGlobal(QPoint(0, anchor_->height())).y() + 4);
    }
    move(frame.topLeft());
}

void Popover::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    // New content while shown (a row that appears, a longer text): placed anew, so that it never
    // grows down over its button.
    if (isVisible()) placeAboveAnchor();
}

void Popover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    emit closed();
}

void Popover::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), barBackground());
}

}  // namespace qv::controlbar
