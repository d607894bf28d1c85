#pragma once
// The bookmarks of the popover as a list model, newest first: one row per bookmark, its name as
// the display text. Adding puts a row in front; removing takes out one row; a load replaces all.
// Main thread only.
#include <QAbstractListModel>
#include <QList>

#include "webpanels/Bookmarks.h"

namespace qv::webpanels {

class BookmarkListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    const QList<Bookmark>& list() const { return list_; }
    const Bookmark& at(int row) const { return list_.at(row); }

    void setList(QList<Bookmark> list);
    void prepend(const Bookmark& bookmark);
    // The first bookmark equal to `bookmark` (all five fields) goes; false when there is none.
    bool removeFirstEqual(const Bookmark& bookmark);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<Bookmark> list_;
};

}  // namespace qv::webpanels
