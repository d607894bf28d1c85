#pragma once
// The bookmark popover of the browser: "Bookmark this page" stores the page on screen with a
// picture of it; below it the bookmarks, newest first, each a picture with its name. A click on
// a picture opens its address in the browser; the close mark on a picture deletes the bookmark.
// The list is read from "bookmarks.json" in the bookmark folder each time the popover is made,
// on a worker thread; adding, removing and saving wait until it has been read, so the file never
// loses what it held. Only the rows on screen are drawn, and their pictures are read as they
// come on screen, so a list of any length opens at once. Main thread only (except the reading
// work).
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "webpanels/Bookmarks.h"

class QLabel;
class QPushButton;

namespace qv::webpanels {

class BookmarkListModel;
class BookmarkListView;
class BookmarkPictures;

// Deletes the picture of a bookmark when it lies inside `folder` (a name that leads elsewhere is
// left alone); a failure is ignored.
void removeBookmarkPicture(const QString& folder, const Bookmark& bookmark);

class BrowserBookmarkView : public QWidget {
    Q_OBJECT
public:
    static constexpr int stackWidth = 140;
    static constexpr int cornerRadius = 10;
    static constexpr int padding = 5;  // above and below the stack

    explicit BrowserBookmarkView(QWidget* parent = nullptr);
    ~BrowserBookmarkView() override;

    const QList<Bookmark>& bookmarkList() const;
    bool loaded() const { return loaded_; }
    // The list's height: (n + 1) x 80 up to four bookmarks, 500 from five on.
    static int listHeight(int count);

    void addBookmark();
    void saveBookmarks();
    void loadBookmarks();
    void removeBookmark(const Bookmark& bookmark);
    void openBookmark(const Bookmark& bookmark);

    QPushButton* addButton() const { return add_; }
    BookmarkListView* listView() const { return list_; }
    BookmarkPictures* pictures() const { return pictures_; }
    QLabel* emptyLabel() const { return empty_; }
    // The last failure shown in the popover ("" when none).
    QString errorText() const;

signals:
    void listChanged();
    // A bookmark was written (picture and list) or could not be.
    void bookmarkAdded(const Bookmark& bookmark);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString folder() const;
    // Runs `work` now when the list is loaded, else once it is.
    void whenLoaded(std::function<void()> work);
    void finishLoading(QList<Bookmark> list);
    void showError(const QString& text);
    void listSizeChanged();
    // The close mark of a row: the picture file goes first, then the bookmark.
    void removeRow(int row);

    bool loaded_ = false;
    bool loading_ = false;
    std::vector<std::function<void()>> pending_;
    BookmarkListModel* model_;
    BookmarkPictures* pictures_;
    QPushButton* add_;
    BookmarkListView* list_;
    QLabel* empty_;
    QLabel* error_;
};

}  // namespace qv::webpanels
