#include "library/files/FileLibraryWidgets.h"

#include <QGridLayout>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <map>

#include "library/LibraryImages.h"
#include "library/ThumbnailView.h"
#include "library/files/FileLibraryView.h"

namespace qv::library {

namespace {

constexpr int kColumnWidth = 125;

// A cell is drawn when its item has a picture or its thumbnail file loads as one.
bool drawable(const LibraryFilePtr& item) {
    if (item->thumbnailImage && !item->thumbnailImage->isNull()) return true;
    QImageReader reader(localPath(item->thumbnail));
    return reader.canRead();
}

}  // namespace

CollapseHandle::CollapseHandle(std::function<void()> onTap, QWidget* parent) : QWidget(parent), onTap_(std::move(onTap)) {
    setFixedSize(FileLibraryView::handleSize, FileLibraryView::handleSize);
    setCursor(Qt::PointingHandCursor);
}

void CollapseHandle::setCollapsed(bool collapsed) {
    collapsed_ = collapsed;
    update();
}

void CollapseHandle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The circle's outline from 30 % to 70 % of its length, clockwise from the rightmost point
    // (through the leftmost one), closed by its chord.
    const QRectF circle(0, 0, width(), height());
    QPainterPath segment;
    segment.arcMoveTo(circle, -0.3 * 360);
    segment.arcTo(circle, -0.3 * 360, -0.4 * 360);
    segment.closeSubpath();
    p.fillPath(segment, QColor(Qt::gray));
    p.translate(10, 25);
    p.rotate(collapsed_ ? 90 : -90);
    const QPixmap arrow = libraryImage(QStringLiteral("toolbar_arrow_down"), QSize(16, 16));
    p.drawPixmap(-8, -8, arrow);
}

void CollapseHandle::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) onTap_();
}

CategoryChip::CategoryChip(const QString& text, std::function<void()> onEnter, std::function<void()> onTap)
    : QLabel(text), onEnter_(std::move(onEnter)), onTap_(std::move(onTap)) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void CategoryChip::setHighlighted(bool on) {
    setStyleSheet(QStringLiteral("QLabel { color: %1; border: 1px solid white; border-radius: 3px;"
                                 " padding: 2px 6px; background: transparent; }")
                      .arg(on ? hoverColor.name() : QStringLiteral("white")));
}

void CategoryChip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) onTap_();
}

CellGrid::CellGrid(MakeCell makeCell) : makeCell_(std::move(makeCell)) {
    grid_ = new QGridLayout(this);
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(0);
    grid_->setVerticalSpacing(5);
    for (int c = 0; c < 3; ++c) grid_->setColumnMinimumWidth(c, kColumnWidth);
    grid_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
}

void CellGrid::setItems(const std::vector<LibraryFilePtr>& items) {
    std::map<QUuid, ThumbnailView*> old;
    for (const auto& [id, cell] : cells_) old[id] = cell;
    while (grid_->count()) delete grid_->takeAt(0);
    cells_.clear();
    int index = 0;
    for (const LibraryFilePtr& item : items) {
        if (!drawable(item)) continue;
        ThumbnailView* cell = nullptr;
        if (auto it = old.find(item->id); it != old.end()) {
            cell = it->second;
            old.erase(it);
        } else {
            cell = makeCell_(item);
            cell->setParent(this);
        }
        grid_->addWidget(cell, index / 3, index % 3, Qt::AlignHCenter | Qt::AlignTop);
        cell->show();
        cells_.emplace_back(item->id, cell);
        ++index;
    }
    // A cell may be removing itself right now (its own delete button): delete later.
    for (auto& [id, cell] : old) {
        cell->hide();
        cell->deleteLater();
    }
}

std::vector<QWidget*> CellGrid::cells() const {
    std::vector<QWidget*> out;
    for (const auto& [id, cell] : cells_) out.push_back(cell);
    return out;
}

VerticalScroll::VerticalScroll(QWidget* content) {
    setWidget(content);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
}

}  // namespace qv::library
