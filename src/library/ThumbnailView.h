#pragma once
// The one cell of every list of files: a thumbnail with the item's type and name, taps, drag-out
// (file URLs), and on hover a delete button or a favorite toggle. What deleting does depends on
// the list the cell serves, named by `fileSource`:
//   "gif"      the delete button only calls onRemoved (no question, no file touched);
//   "library"  asks "remove from the plimsk bar?", then removes the file and calls onRemoved;
//   otherwise  (the archive list passes "archive") asks "delete this file?", then the same.
// Main thread only.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "library/LibraryFile.h"

#include <QMessageBox>
class QMimeData;

namespace qv::library {

class ThumbnailView : public QWidget {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    ThumbnailView(QString fileSource, bool showFav, LibraryFilePtr libraryFileItem, Action onRemoved = {},
                  Action onClicked = {}, QWidget* parent = nullptr);
    ~ThumbnailView() override;

    const QString& fileSource() const { return fileSource_; }
    bool showFav() const { return showFav_; }
    const LibraryFilePtr& libraryFileItem() const { return libraryFileItem_; }
    bool hovered() const { return hovered_; }
    bool refresh() const { return refresh_; }
    bool showingDeleteAlert() const { return showingDeleteAlert_; }
    const LibraryFilePtr& deletingLibraryFile() const { return deletingLibraryFile_; }
    // The confirmation alert while it is shown (null otherwise).
    QMessageBox* deleteAlert() const { return deleteAlert_; }

    // Geometry of the parts (cell coordinates); empty when the item has no thumbnail image.
    QRect thumbnailRect() const;
    // The hover control at the top-left corner (delete or favorite), and the favorited marker.
    QRect hoverControlRect() const;
    // What the cell shows now: the hover control, the favorited marker.
    bool showsDeleteButton() const;
    bool showsFavoriteButton() const;
    bool showsFavoritedMarker() const;

    // The gestures' actions.
    void tap();                // "clicked Image", then onClicked
    void requestDeletion();    // the delete button
    void deleteConfirmed();    // "Yes" in the alert
    void setFavorited(bool favorited);
    // What a drag carries: the item's url as a file URL (text/uri-list). Null without a url.
    QMimeData* dragMimeData() const;

    QSize sizeHint() const override;
    // The height of a cell with its picture and its name in `font`.
    static int heightWithPicture(const QFont& font);

    static constexpr int thumbnailWidth = 120;
    static constexpr int thumbnailHeight = 72;
    static constexpr int controlSize = 24;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovered(bool hovered);
    bool hasPicture() const;

    QString fileSource_;
    bool showFav_;
    LibraryFilePtr libraryFileItem_;
    Action onRemoved_;
    Action onClicked_;

    bool hovered_ = false;
    LibraryFilePtr deletingLibraryFile_;
    bool showingDeleteAlert_ = false;
    bool refresh_ = false;
    QPointer<QMessageBox> deleteAlert_;

    QPoint pressPos_;
    bool pressed_ = false;
    bool dragging_ = false;
};

}  // namespace qv::library
