#pragma once
// A plain list of thumbnail cells that scrolls, one row per item and keyed by the item's id (two
// items for the same file are two rows), with a headline text shown first while the list is empty.
// Side-panel lists are (n + 1) x 80 high for n up to 4 items and 500 from 5 on.
//
// Rows are laid out lazily: only the rows in view have a cell, so adding, removing or scrolling
// costs the same whatever the list's length (thousands of snapshots after a term). A cell keeps
// its hover and alert state while its row stays in view, and a cell whose alert is open lives on
// while it is scrolled away. Main thread only.
#include <QAbstractScrollArea>
#include <QHash>
#include <QUuid>

#include <deque>
#include <functional>
#include <vector>

#include "library/LibraryFile.h"

class QLabel;

namespace qv::library {

class ThumbnailView;

class ThumbnailList : public QAbstractScrollArea {
    Q_OBJECT
public:
    using MakeCell = std::function<ThumbnailView*(const LibraryFilePtr& item, QWidget* parent)>;

    ThumbnailList(const QString& emptyText, MakeCell makeCell, QWidget* parent = nullptr);

    // Shows `items` in order (a new load, the GIF maker's frames): cells of items still in view are
    // kept, the others go.
    void setItems(const std::vector<LibraryFilePtr>& items);
    // One item more at the top or at the end, or one less: each costs the same whatever the length.
    void prependItem(const LibraryFilePtr& item);
    void appendItem(const LibraryFilePtr& item);
    void removeItem(const QUuid& id);
    int count() const { return int(items_.size()); }

    // The cells in view, in list order.
    std::vector<ThumbnailView*> cells() const;
    // The cell of the item, while its row is in view (null otherwise).
    ThumbnailView* cellFor(const QUuid& id) const;
    QLabel* emptyLabel() const { return emptyLabel_; }
    // The height of one row: that of a cell with its picture and name.
    int rowHeight() const { return rowHeight_; }

    static int listHeight(int count) { return count <= 4 ? (count + 1) * 80 : 500; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    void itemsChanged();
    void layoutRows();

    MakeCell makeCell_;
    QLabel* emptyLabel_;
    int rowHeight_;
    std::deque<LibraryFilePtr> items_;
    QHash<QUuid, ThumbnailView*> cells_;  // the rows in view (and cells with an open alert)
};

}  // namespace qv::library
