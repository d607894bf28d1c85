#pragma once
// The pointer over the bookmark list, as a person uses it: onto a picture (its close mark
// shows), then a click on the mark or on the picture. The events go in where the window system's
// would (the window's, not the widget's), so they take Qt's whole way to the list; the real
// pointer stays where it is, as tests share one virtual display.
#include <gtest/gtest.h>

#include <QTest>
#include <QWindow>

#include "webpanels/BookmarkListView.h"

namespace qv::test {

inline QRect bookmarkRow(webpanels::BookmarkListView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    return list->visualRect(index);
}

// `at` in the list's viewport, in the window's coordinates.
inline QPoint inBookmarkWindow(webpanels::BookmarkListView* list, const QPoint& at) {
    return list->viewport()->mapTo(list->window(), at);
}

inline void clickBookmarkCloseMark(webpanels::BookmarkListView* list, int row) {
    const QRect cell = bookmarkRow(list, row);
    QWindow* window = list->window()->windowHandle();
    QTest::mouseMove(window, inBookmarkWindow(list, webpanels::BookmarkThumbnailView::pictureRect(cell).center()));
    EXPECT_EQ(list->hoveredRow(), row) << "the pointer over the picture shows its close mark";
    const QPoint mark = inBookmarkWindow(list, webpanels::BookmarkThumbnailView::closeRect(cell).center());
    QTest::mouseMove(window, mark);
    QTest::mouseClick(window, Qt::LeftButton, {}, mark);
}

// A click on the picture away from its close mark.
inline void clickBookmarkPicture(webpanels::BookmarkListView* list, int row) {
    const QRect picture = webpanels::BookmarkThumbnailView::pictureRect(bookmarkRow(list, row));
    const QPoint at = inBookmarkWindow(list, picture.bottomRight() - QPoint(20, 15));
    QTest::mouseMove(list->window()->windowHandle(), at);
    QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, {}, at);
}

}  // namespace qv::test
