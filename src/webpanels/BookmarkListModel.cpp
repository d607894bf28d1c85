#include "webpanels/BookmarkListModel.h"

#include <algorithm>

namespace qv::webpanels {

void BookmarkListModel::setList(QList<Bookmark> list) {
    beginResetModel();
    list_ = std::move(list);
    endResetModel();
}

void BookmarkListModel::prepend(const Bookmark& bookmark) {
    beginInsertRows(QModelIndex(), 0, 0);
    list_.prepend(bookmark);
    endInsertRows();
}

bool BookmarkListModel::removeFirstEqual(const Bookmark& bookmark) {
    const auto it = std::find(list_.cbegin(), list_.cend(), bookmark);
    if (it == list_.cend()) return false;
    const int row = int(it - list_.cbegin());
    beginRemoveRows(QModelIndex(), row, row);
    list_.removeAt(row);
    endRemoveRows();
    return true;
}

int BookmarkListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(list_.size()); }

QVariant BookmarkListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return list_.at(index.row()).name;
    return {};
}

}  // namespace qv::webpanels
