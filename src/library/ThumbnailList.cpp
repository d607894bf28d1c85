#include "library/ThumbnailList.h"

#include <QLabel>
#include <QVBoxLayout>

#include "library/LibraryImages.h"
#include "library/ThumbnailView.h"

namespace qv::library {

ThumbnailList::ThumbnailList(const QString& emptyText, MakeCell makeCell, QWidget* parent)
    : QScrollArea(parent), makeCell_(std::move(makeCell)) {
    setObjectName(QStringLiteral("thumbnailList"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    content_ = new QWidget;
    content_->setObjectName(QStringLiteral("thumbnailListContent"));
    content_->setAutoFillBackground(true);
    QPalette pal = content_->palette();
    pal.setColor(QPalette::Window, tableBackground);
    pal.setColor(QPalette::WindowText, Qt::white);
    content_->setPalette(pal);
    layout_ = new QVBoxLayout(content_);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    emptyLabel_ = new QLabel(emptyText, content_);
    emptyLabel_->setObjectName(QStringLiteral("emptyText"));
    emptyLabel_->setAlignment(Qt::AlignCenter);
    emptyLabel_->setWordWrap(true);
    QFont headline = emptyLabel_->font();
    headline.setBold(true);
    emptyLabel_->setFont(headline);
    layout_->addWidget(emptyLabel_);
    layout_->addStretch(1);
    setWidget(content_);
    setFixedHeight(listHeight(0));
}

void ThumbnailList::setItems(const std::vector<LibraryFilePtr>& items) {
    std::vector<std::pair<QUuid, ThumbnailView*>> next;
    next.reserve(items.size());
    for (const LibraryFilePtr& item : items) {
        auto it = std::find_if(cells_.begin(), cells_.end(), [&](const auto& c) { return c.first == item->id; });
        if (it != cells_.end()) {
            next.push_back(*it);
            cells_.erase(it);
        } else {
            next.emplace_back(item->id, makeCell_(item, content_));
        }
    }
    // Cells of items that left the list go later: one of them may be running the removal.
    for (auto& [id, cell] : cells_) {
        layout_->removeWidget(cell);
        cell->hide();
        cell->deleteLater();
    }
    cells_ = std::move(next);
    for (auto& [id, cell] : cells_) layout_->removeWidget(cell);
    int index = 1;  // after the empty text
    for (auto& [id, cell] : cells_) {
        layout_->insertWidget(index++, cell, 0, Qt::AlignHCenter);
        cell->show();
    }
    emptyLabel_->setVisible(cells_.empty());
    setFixedHeight(listHeight(int(cells_.size())));
}

std::vector<ThumbnailView*> ThumbnailList::cells() const {
    std::vector<ThumbnailView*> out;
    for (const auto& [id, cell] : cells_) out.push_back(cell);
    return out;
}

ThumbnailView* ThumbnailList::cellFor(const QUuid& id) const {
    for (const auto& [cid, cell] : cells_)
        if (cid == id) return cell;
    return nullptr;
}

}  // namespace qv::library
