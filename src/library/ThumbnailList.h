#pragma once
// A plain list of thumbnail cells, one per item and keyed by the item's id (two items for the same
// file are two rows), with a headline text shown first while the list is empty. Side-panel lists
// are (n + 1) x 80 high for n up to 4 items and 500 from 5 on. Main thread only.
#include <QScrollArea>
#include <QUuid>

#include <functional>
#include <vector>

#include "library/LibraryFile.h"

class QLabel;
class QVBoxLayout;

namespace qv::library {

class ThumbnailView;

class ThumbnailList : public QScrollArea {
    Q_OBJECT
public:
    using MakeCell = std::function<ThumbnailView*(const LibraryFilePtr& item, QWidget* parent)>;

    ThumbnailList(const QString& emptyText, MakeCell makeCell, QWidget* parent = nullptr);

    // Shows `items` in order: cells of items still listed are kept (with their hover and alert
    // state), cells of items gone are removed, new items get new cells. The height follows.
    void setItems(const std::vector<LibraryFilePtr>& items);

    std::vector<ThumbnailView*> cells() const;
    ThumbnailView* cellFor(const QUuid& id) const;
    QLabel* emptyLabel() const { return emptyLabel_; }

    static int listHeight(int count) { return count <= 4 ? (count + 1) * 80 : 500; }

private:
    MakeCell makeCell_;
    QWidget* content_;
    QVBoxLayout* layout_;
    QLabel* emptyLabel_;
    std::vector<std::pair<QUuid, ThumbnailView*>> cells_;
};

}  // namespace qv::library
