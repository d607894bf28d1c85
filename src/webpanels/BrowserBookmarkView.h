#pragma once
// The bookmark popover of the browser: "Bookmark this page" stores the page on screen with a
// picture of it; below it the bookmarks, newest first, each a picture with its name. A click on
// a picture opens its address in the browser; the close mark on a picture deletes the bookmark.
// The list is read from "bookmarks.json" in the bookmark folder each time the popover is made,
// on a worker thread; adding, removing and saving wait until it has been read, so the file never
// loses what it held. Main thread only (except the reading work).
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

#include "webpanels/Bookmarks.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace qv::webpanels {

// One bookmark: its picture (120 x 72, a placeholder when it has none) and its name.
class BookmarkThumbnailView : public QWidget {
    Q_OBJECT
public:
    BookmarkThumbnailView(Bookmark bookmark, QString folder, std::function<void()> onRemoved,
                          std::function<void()> onClicked, QWidget* parent = nullptr);
    const Bookmark& bookmark() const { return bookmark_; }
    bool hovered() const { return hovered_; }
    QWidget* picture() const { return picture_; }
    QWidget* closeButton() const { return close_; }
    void setHovered(bool hovered);

    // The close mark: removes the picture file (a failure is ignored), then onRemoved.
    void remove();

private:
    Bookmark bookmark_;
    QString folder_;
    std::function<void()> onRemoved_;
    std::function<void()> onClicked_;
    bool hovered_ = false;
    QWidget* picture_;
    QWidget* close_;
};

class BrowserBookmarkView : public QWidget {
    Q_OBJECT
public:
    explicit BrowserBookmarkView(QWidget* parent = nullptr);

    const QList<Bookmark>& bookmarkList() const { return bookmarkList_; }
    bool loaded() const { return loaded_; }
    // The list's height: (n + 1) x 80 up to four bookmarks, 500 from five on.
    static int listHeight(int count);

    void addBookmark();
    void saveBookmarks();
    void loadBookmarks();
    void removeBookmark(const Bookmark& bookmark);
    void openBookmark(const Bookmark& bookmark);

    QPushButton* addButton() const { return add_; }
    QList<BookmarkThumbnailView*> cells() const;
    QLabel* emptyLabel() const { return empty_; }
    // The last failure shown in the popover ("" when none).
    QString errorText() const;

signals:
    void listChanged();
    // A bookmark was written (picture and list) or could not be.
    void bookmarkAdded(const Bookmark& bookmark);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString folder() const;
    // Runs `work` now when the list is loaded, else once it is.
    void whenLoaded(std::function<void()> work);
    void finishLoading(QList<Bookmark> list);
    void showError(const QString& text);
    void rebuildRows();

    QList<Bookmark> bookmarkList_;
    bool loaded_ = false;
    bool loading_ = false;
    std::vector<std::function<void()>> pending_;
    QPushButton* add_;
    QScrollArea* scroll_;
    QWidget* rows_;
    QVBoxLayout* rowsLayout_;
    QLabel* empty_;
    QLabel* error_;
};

}  // namespace qv::webpanels
