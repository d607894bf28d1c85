#include "library/files/FileLibraryWidgets.h"

#include <QAbstractScrollArea>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include <algorithm>

#include "library/LibraryImages.h"
#include "library/ThumbnailView.h"
#include "library/files/FileLibraryView.h"

namespace qv::library {

namespace {

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
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFixedHeight(0);
}

int CellGrid::rowHeight() const {
    return ThumbnailView::heightWithPicture(font());
}

void CellGrid::setItems(const std::vector<LibraryFilePtr>& items) {
    items_.clear();
    for (const LibraryFilePtr& item : items)
        if (drawable(item)) items_.push_back(item);
    const int rows = (int(items_.size()) + columns - 1) / columns;
    // As high as all its rows: the scroll area's content grows, never squeezes a cell.
    setFixedHeight(rows == 0 ? 0 : rows * rowHeight() + (rows - 1) * rowSpacing);
    layoutCells();
}

void CellGrid::watchScrollArea() {
    if (scroll_) return;
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
            scroll_ = area;
            area->viewport()->installEventFilter(this);
            connect(area->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { layoutCells(); });
            return;
        }
    }
}

std::pair<int, int> CellGrid::rowsInView() const {
    const int rows = (int(items_.size()) + columns - 1) / columns;
    if (!scroll_) return {0, rows - 1};
    // The viewport's rectangle in the grid's coordinates (by geometry, so also while hidden).
    QWidget* viewport = scroll_->viewport();
    const int top = mapFrom(viewport, QPoint(0, 0)).y();
    const int step = rowHeight() + rowSpacing;
    const int first = std::max(0, top / step);
    const int last = std::min(rows - 1, (top + viewport->height()) / step);
    return {first, last};
}

void CellGrid::layoutCells() {
    watchScrollArea();
    const auto [first, last] = rowsInView();
    const int height = rowHeight(), step = height + rowSpacing;
    const int left = std::max(0, (width() - columns * columnWidth) / 2);
    QHash<QUuid, ThumbnailView*> shown;
    const int end = std::min(int(items_.size()), (last + 1) * columns);
    for (int index = first * columns; index < end; ++index) {
        const LibraryFilePtr& item = items_[size_t(index)];
        ThumbnailView* cell = cells_.take(item->id);
        if (!cell) {
            cell = makeCell_(item);
            cell->setParent(this);
        }
        cell->setGeometry(left + (index % columns) * columnWidth, (index / columns) * step, columnWidth,
                          height);
        cell->show();
        shown.insert(item->id, cell);
    }
    // Cells out of view go, but for one whose delete question is still open (its item listed
    // still); a cell may be removing its own item right now: it goes later.
    for (auto it = cells_.begin(); it != cells_.end(); ++it) {
        ThumbnailView* cell = it.value();
        cell->hide();
        const bool listed = std::any_of(items_.begin(), items_.end(),
                                        [&](const LibraryFilePtr& i) { return i->id == it.key(); });
        if (cell->deleteAlert() && listed)
            shown.insert(it.key(), cell);
        else
            cell->deleteLater();
    }
    cells_ = std::move(shown);
}

std::vector<QWidget*> CellGrid::cells() const {
    std::vector<QWidget*> out;
    for (const LibraryFilePtr& item : items_)
        if (ThumbnailView* cell = cells_.value(item->id); cell && !cell->isHidden()) out.push_back(cell);
    return out;
}

void CellGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutCells();
}

void CellGrid::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    layoutCells();
}

void CellGrid::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    layoutCells();
}

void CellGrid::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) setItems(std::vector<LibraryFilePtr>(items_));
}

bool CellGrid::eventFilter(QObject* watched, QEvent* event) {
    if (scroll_ && watched == scroll_->viewport() && event->type() == QEvent::Resize) layoutCells();
    return QWidget::eventFilter(watched, event);
}

VerticalScroll::VerticalScroll(QWidget* content) {
    setWidget(content);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
}

}  // namespace qv::library
