#pragma once
// The list of the bookmark popover: only the rows on screen are drawn, each by the cell
// BookmarkThumbnailView (the picture, 120 x 72 with a rounded white border, and the name on one
// line under it). The pointer over a picture shows the close mark at its top-left corner; a click
// on the mark removes the bookmark, a click elsewhere on the picture opens it. A thin scroll bar
// lies over the right margin, so the cells stay centred. Main thread only.
#include <QListView>
#include <QPixmap>
#include <QStyledItemDelegate>

#include <functional>

namespace qv::webpanels {

class BookmarkListModel;
class BookmarkPictures;

// The cell: draws one bookmark in its row and knows where its parts lie.
class BookmarkThumbnailView : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int pictureWidth = 120;
    static constexpr int pictureHeight = 72;
    static constexpr int spacing = 5;   // between the picture and the name, and around the cell
    static constexpr int cornerRadius = 10;
    static constexpr int closeSide = 24;
    static constexpr int closeOffset = 5;

    BookmarkThumbnailView(const BookmarkListModel* model, BookmarkPictures* pictures, QObject* parent = nullptr);

    // The parts of the cell drawn in `row` (the row's rectangle in the viewport).
    static QRect pictureRect(const QRect& row);
    static QRect closeRect(const QRect& row);
    static QRect nameRect(const QRect& row, const QFontMetrics& metrics);
    static int rowHeight(const QFontMetrics& metrics);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const BookmarkListModel* model_;
    BookmarkPictures* pictures_;
    mutable QPixmap close_;
};

class BookmarkListView : public QListView {
    Q_OBJECT
public:
    BookmarkListView(BookmarkListModel* model, BookmarkPictures* pictures, QWidget* parent = nullptr);

    // The row whose picture the pointer is over (its close mark shown), or -1.
    int hoveredRow() const { return hovered_; }
    void setHoveredRow(int row);
    QScrollBar* overlayScrollBar() const { return bar_; }

    std::function<void(int row)> onClicked;
    std::function<void(int row)> onRemoved;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Part { none, picture, close };
    Part partAt(const QPoint& position, int* row) const;
    void placeScrollBar();

    int hovered_ = -1;
    int pressedRow_ = -1;
    Part pressedPart_ = Part::none;
    QScrollBar* bar_;
};

}  // namespace qv::webpanels
