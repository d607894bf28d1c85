#include "library/ThumbnailList.h"

#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

#include "library/LibraryImages.h"
#include "library/ThumbnailView.h"

namespace qv::library {

ThumbnailList::ThumbnailList(const QString& emptyText, MakeCell makeCell, QWidget* parent)
    : QAbstractScrollArea(parent), makeCell_(std::move(makeCell)) {
    setObjectName(QStringLiteral("thumbnailList"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A slim scroller on the list's own ground, as plain lists have, leaving the cells their width.
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { width: 6px; background: transparent; margin: 2px 0 2px 0; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 140); border-radius: 3px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    viewport()->setObjectName(QStringLiteral("thumbnailListContent"));
    viewport()->setAutoFillBackground(true);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Window, tableBackground);
    pal.setColor(QPalette::Base, tableBackground);
    pal.setColor(QPalette::WindowText, Qt::white);
    viewport()->setPalette(pal);
    emptyLabel_ = new QLabel(emptyText, viewport());
    emptyLabel_->setObjectName(QStringLiteral("emptyText"));
    emptyLabel_->setAlignment(Qt::AlignCenter);
    emptyLabel_->setWordWrap(true);
    QFont headline = emptyLabel_->font();
    headline.setBold(true);
    emptyLabel_->setFont(headline);
    rowHeight_ = ThumbnailView::heightWithPicture(viewport()->font());
    setFixedHeight(listHeight(0));
    itemsChanged();
}

void ThumbnailList::setItems(const std::vector<LibraryFilePtr>& items) {
    items_.assign(items.begin(), items.end());
    itemsChanged();
}

void ThumbnailList::prependItem(const LibraryFilePtr& item) {
    items_.push_front(item);
    itemsChanged();
}

void ThumbnailList::appendItem(const LibraryFilePtr& item) {
    items_.push_back(item);
    itemsChanged();
}

void ThumbnailList::removeItem(const QUuid& id) {
    const auto it = std::find_if(items_.begin(), items_.end(), [&](const LibraryFilePtr& i) { return i->id == id; });
    if (it == items_.end()) return;
    items_.erase(it);
    itemsChanged();
}

void ThumbnailList::itemsChanged() {
    setFixedHeight(listHeight(count()));  // no work when the height stays
    emptyLabel_->setVisible(items_.empty());
    layoutRows();
}

void ThumbnailList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layoutRows();
}

void ThumbnailList::scrollContentsBy(int, int) { layoutRows(); }

bool ThumbnailList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) layoutRows();
    return QAbstractScrollArea::viewportEvent(event);
}

void ThumbnailList::layoutRows() {
    rowHeight_ = ThumbnailView::heightWithPicture(viewport()->font());
    const int viewHeight = viewport()->height(), width = viewport()->width();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, count() * rowHeight_ - viewHeight));
    bar->setPageStep(viewHeight);
    bar->setSingleStep(rowHeight_ / 2);
    emptyLabel_->setGeometry(0, 0, width, std::min(viewHeight, 80));

    const int top = bar->value();
    const int first = top / rowHeight_;
    const int last = std::min(count() - 1, (top + viewHeight - 1) / rowHeight_);
    QHash<QUuid, ThumbnailView*> shown;
    for (int row = first; row <= last; ++row) {
        const LibraryFilePtr& item = items_[size_t(row)];
        ThumbnailView* cell = cells_.take(item->id);
        if (!cell) cell = makeCell_(item, viewport());
        cell->setGeometry(0, row * rowHeight_ - top, width, rowHeight_);
        cell->show();
        shown.insert(item->id, cell);
    }
    // Rows out of view give up their cells, but for one whose delete question is still open (its
    // item listed still); a cell may be running the removal of its own item: it goes later.
    for (auto it = cells_.begin(); it != cells_.end(); ++it) {
        ThumbnailView* cell = it.value();
        cell->hide();
        const auto listed = [&] {
            return std::any_of(items_.begin(), items_.end(), [&](const LibraryFilePtr& i) { return i->id == it.key(); });
        };
        if (cell->deleteAlert() && listed())
            shown.insert(it.key(), cell);
        else
            cell->deleteLater();
    }
    cells_ = std::move(shown);
}

std::vector<ThumbnailView*> ThumbnailList::cells() const {
    std::vector<ThumbnailView*> out;
    const int top = verticalScrollBar()->value();
    const int first = top / rowHeight_;
    const int last = std::min(count() - 1, (top + viewport()->height() - 1) / rowHeight_);
    for (int row = first; row <= last; ++row)
        if (ThumbnailView* cell = cells_.value(items_[size_t(row)]->id)) out.push_back(cell);
    return out;
}

ThumbnailView* ThumbnailList::cellFor(const QUuid& id) const {
    ThumbnailView* cell = cells_.value(id);
    return cell && cell->isVisibleTo(viewport()) ? cell : nullptr;
}

}  // namespace qv::library
