#include "webpanels/BrowserBookmarkView.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "helpers/NiceButtonStyle.h"
#include "helpers/Thumbnails.h"
#include "state/AppState.h"
#include "state/QtPrint.h"
#include "webpanels/BrowserImages.h"
#include "webpanels/BrowserWebView.h"

namespace qv::webpanels {

namespace {

constexpr int rowHeight = 80;
constexpr int pictureWidth = 120;
constexpr int pictureHeight = 72;

// The picture of a bookmark: filled and cropped into 120 x 72 with a rounded white border, or a
// placeholder when the bookmark has no picture.
class BookmarkPicture : public QWidget {
public:
    BookmarkPicture(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
        setFixedSize(pictureWidth, pictureHeight);
        setCursor(Qt::PointingHandCursor);
    }
    std::function<void()> clicked;
    std::function<void(bool)> hoverChanged;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        clip.addRoundedRect(box, 10, 10);
        p.setClipPath(clip);
        if (image_.isNull()) {
            p.fillRect(rect(), QColor(90, 90, 90));
            p.setPen(QColor(220, 220, 220));
            p.drawText(rect(), Qt::AlignCenter, QStringLiteral("No picture"));
        } else {
            const QSizeF scaled = QSizeF(image_.size()).scaled(size(), Qt::KeepAspectRatioByExpanding);
            const QRectF target(QPointF((width() - scaled.width()) / 2, (height() - scaled.height()) / 2), scaled);
            p.drawImage(target, image_);
        }
        p.setClipping(false);
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(box, 10, 10);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && clicked) clicked();
    }
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void enterEvent(QEnterEvent*) override {
        if (hoverChanged) hoverChanged(true);
    }
    void leaveEvent(QEvent*) override {
        if (hoverChanged) hoverChanged(false);
    }

private:
    QImage image_;
};

class CloseMark : public BrowserImageButton {
public:
    explicit CloseMark(QWidget* parent) : BrowserImageButton(QStringLiteral("close"), 24, 0, parent) {}
};

}  // namespace

// --- BookmarkThumbnailView ---

BookmarkThumbnailView::BookmarkThumbnailView(Bookmark bookmark, QString folder, std::function<void()> onRemoved,
                                             std::function<void()> onClicked, QWidget* parent)
    : QWidget(parent),
      bookmark_(std::move(bookmark)),
      folder_(std::move(folder)),
      onRemoved_(std::move(onRemoved)),
      onClicked_(std::move(onClicked)) {
    setObjectName(QStringLiteral("bookmarkCell"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    auto* picture = new BookmarkPicture(bookmark_.thumbnailImage, this);
    picture->clicked = [this] {
        if (onClicked_) onClicked_();
    };
    picture->hoverChanged = [this](bool on) { setHovered(on); };
    picture_ = picture;
    column->addWidget(picture_, 0, Qt::AlignHCenter);
    auto* name = new QLabel(this);
    name->setObjectName(QStringLiteral("bookmarkName"));
    name->setTextFormat(Qt::PlainText);  // a page's title, never markup
    QPalette p = name->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    name->setPalette(p);
    name->setFixedWidth(pictureWidth);
    name->setText(name->fontMetrics().elidedText(bookmark_.name, Qt::ElideRight, pictureWidth));
    column->addWidget(name, 0, Qt::AlignHCenter);
    auto* close = new CloseMark(picture_);
    close->move(5, 5);
    close->hide();
    connect(close, &QAbstractButton::clicked, this, &BookmarkThumbnailView::remove);
    close_ = close;
}

void BookmarkThumbnailView::setHovered(bool hovered) {
    // Leaving the picture for its own close mark keeps the mark.
    if (!hovered && close_->underMouse()) return;
    hovered_ = hovered;
    close_->setVisible(hovered);
}

void BookmarkThumbnailView::remove() {
    // Only a picture inside the bookmark folder: a name from the file that leads elsewhere is left alone.
    if (const auto picture = bookmarkPicturePath(folder_, bookmark_.thumbnail)) QFile::remove(*picture);
    if (onRemoved_) onRemoved_();
}

// --- BrowserBookmarkView ---

BrowserBookmarkView::BrowserBookmarkView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("bookmarkView"));
    setFixedWidth(140);
    setAutoFillBackground(false);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 5, 0, 5);
    column->setSpacing(5);
    column->setAlignment(Qt::AlignHCenter);

    add_ = new QPushButton(QStringLiteral("Bookmark this page"), this);
    // The program's button style, its text a little smaller so it fits the popover's width.
    add_->setStyleSheet(app::NiceButtonStyle{Qt::white, Qt::gray, palette().color(QPalette::Highlight)}.styleSheet() +
                        QStringLiteral("QAbstractButton { font-size: 9pt; padding: 4px 2px; }"));
    connect(add_, &QPushButton::clicked, this, &BrowserBookmarkView::addBookmark);
    column->addWidget(add_, 0, Qt::AlignHCenter);

    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("bookmarkError"));
    error_->setWordWrap(true);
    error_->setTextFormat(Qt::PlainText);
    error_->setStyleSheet(QStringLiteral("color: #ffd0d0;"));
    error_->hide();
    column->addWidget(error_);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
    rows_ = new QWidget;
    rowsLayout_ = new QVBoxLayout(rows_);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(0);
    empty_ = new QLabel(QStringLiteral("No Bookmarks yet"));
    empty_->setObjectName(QStringLiteral("noBookmarks"));
    QFont headline = empty_->font();
    headline.setBold(true);
    empty_->setFont(headline);
    empty_->setAlignment(Qt::AlignCenter);
    QPalette p = empty_->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    empty_->setPalette(p);
    empty_->installEventFilter(this);
    rowsLayout_->addWidget(empty_);
    scroll_->setWidget(rows_);
    column->addWidget(scroll_);
    rebuildRows();
}

int BrowserBookmarkView::listHeight(int count) { return count <= 4 ? (count + 1) * rowHeight : 500; }

QString BrowserBookmarkView::folder() const {
    const auto folders = app::folderLocations();
    return folders ? folders->bookmarkFolderURL : QString();
}

QList<BookmarkThumbnailView*> BrowserBookmarkView::cells() const {
    return rows_->findChildren<BookmarkThumbnailView*>(QString(), Qt::FindDirectChildrenOnly);
}

QString BrowserBookmarkView::errorText() const { return error_->isVisible() ? error_->text() : QString(); }

void BrowserBookmarkView::showError(const QString& text) {
    error_->setText(text);
    error_->setVisible(!text.isEmpty());
    adjustSize();
}

bool BrowserBookmarkView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == empty_ && event->type() == QEvent::MouseButtonRelease) {
        whenLoaded([this] { saveBookmarks(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void BrowserBookmarkView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (bookmarkList_.isEmpty() && !loading_) loadBookmarks();
}

void BrowserBookmarkView::whenLoaded(std::function<void()> work) {
    if (loaded_) {
        work();
        return;
    }
    pending_.push_back(std::move(work));
    if (!loading_) loadBookmarks();
}

void BrowserBookmarkView::loadBookmarks() {
    if (loading_) return;
    const QString dir = folder();
    if (dir.isEmpty()) {
        showError(QStringLiteral("Bookmarks need a save folder: choose one in the settings."));
        finishLoading({});
        return;
    }
    const QString file = bookmarksFilePath(dir);
    if (!QFileInfo::exists(file)) {
        util::printLine(QStringLiteral("Bookmark File NOT exist"));
        finishLoading({});
        return;
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        util::printLine(QStringLiteral("Bookmarks.json read error: ") + in.errorString());
        showError(QStringLiteral("The bookmarks could not be read: ") + in.errorString());
        return;  // never loaded: nothing may overwrite the unread file
    }
    QString error;
    const std::optional<QList<Bookmark>> parsed = parseBookmarks(in.readAll(), &error);
    if (!parsed) {
        util::printLine(QStringLiteral("Bookmarks.json read error: ") + error);
        showError(QStringLiteral("The bookmarks could not be read: ") + error);
        return;
    }
    loading_ = true;
    QPointer<BrowserBookmarkView> self(this);
    QThreadPool::globalInstance()->start([self, dir, list = *parsed]() mutable {
        // One bookmark after the other, in the file's order.
        for (Bookmark& b : list) {
            QString thumbnailError;
            const auto picture = bookmarkPicturePath(dir, b.thumbnail);
            if (auto image = picture ? app::makeThumbnail(*picture, &thumbnailError) : std::nullopt)
                b.thumbnailImage = *image;
            // Without a picture the bookmark stays, shown with a placeholder.
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, list = std::move(list)]() mutable {
                if (self) self->finishLoading(std::move(list));
            },
            Qt::QueuedConnection);
    });
}

void BrowserBookmarkView::finishLoading(QList<Bookmark> list) {
    loading_ = false;
    loaded_ = true;
    bookmarkList_ = std::move(list);
    rebuildRows();
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& work : pending) work();
}

void BrowserBookmarkView::saveBookmarks() {
    if (!loaded_) {
        whenLoaded([this] { saveBookmarks(); });
        return;
    }
    const QString dir = folder();
    const QString error = dir.isEmpty() ? QStringLiteral("no save folder") : writeWholeFile(bookmarksFilePath(dir), bookmarksJson(bookmarkList_));
    if (!error.isEmpty()) {
        util::printLine(QStringLiteral("update bookmarks.json error: ") + error);
        showError(QStringLiteral("The bookmarks could not be saved: ") + error);
    }
}

void BrowserBookmarkView::removeBookmark(const Bookmark& bookmark) {
    whenLoaded([this, bookmark] {
        const auto it = std::find(bookmarkList_.begin(), bookmarkList_.end(), bookmark);
        if (it == bookmarkList_.end()) return;
        bookmarkList_.erase(it);
        saveBookmarks();
        // The cell that asked is deleted once its click has unwound.
        QMetaObject::invokeMethod(this, [this] { rebuildRows(); }, Qt::QueuedConnection);
    });
}

void BrowserBookmarkView::openBookmark(const Bookmark& bookmark) {
    if (app::browserWebView) app::browserWebView->loadURL(bookmark.url);
}

void BrowserBookmarkView::addBookmark() {
    whenLoaded([this] {
        BrowserWebView* browser = app::browserWebView.data();
        if (!browser || !browser->showingBrowser()) return;
        QWebEngineView* view = browser->wkWebView();
        // The page's own address (the address field may hold unsent typing).
        const QString url = view->url().toString(QUrl::FullyEncoded);
        std::optional<QString> title;
        const QString pageTitle = view->title();
        // The engine reports the address in place of a missing title.
        if (!pageTitle.isEmpty() && pageTitle != view->url().toString() && pageTitle != url &&
            pageTitle != view->url().toString(QUrl::RemoveScheme | QUrl::RemoveUserInfo).mid(2))
            title = pageTitle;
        Bookmark bookmark = makeBookmark(url, title);
        const QSize size = browser->container() ? browser->container()->size() : QSize();
        if (size.isEmpty()) return;
        QPointer<BrowserBookmarkView> self(this);
        browser->takeSnapshot([self, bookmark, size](const QImage& snapshot) mutable {
            if (!self || snapshot.isNull()) return;
            QImage bitmap(size, QImage::Format_ARGB32);
            bitmap.fill(Qt::transparent);
            {
                QPainter p(&bitmap);
                p.setCompositionMode(QPainter::CompositionMode_SourceOver);
                p.drawImage(QPoint(0, 0), snapshot);
            }
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            if (!bitmap.save(&buffer, "PNG")) return;
            const QString dir = self->folder();
            const QString path = QDir(dir).filePath(bookmark.thumbnail);
            const QString error = dir.isEmpty() ? QStringLiteral("no save folder") : writeWholeFile(path, png);
            if (error.isEmpty())
                util::printLine(QStringLiteral("Bookmark image at: ") + path);
            else
                self->showError(QStringLiteral("The bookmark's picture could not be saved: ") + error);
            bookmark.thumbnailImage = bitmap;
            self->bookmarkList_.prepend(bookmark);
            self->saveBookmarks();
            self->rebuildRows();
            emit self->bookmarkAdded(bookmark);
        });
    });
}

void BrowserBookmarkView::rebuildRows() {
    for (BookmarkThumbnailView* cell : cells()) {
        cell->hide();
        cell->setParent(nullptr);
        cell->deleteLater();
    }
    empty_->setVisible(bookmarkList_.isEmpty());
    const QString dir = folder();
    for (const Bookmark& b : bookmarkList_) {
        auto* cell = new BookmarkThumbnailView(
            b, dir, [this, b] { removeBookmark(b); }, [this, b] { openBookmark(b); }, rows_);
        cell->setFixedHeight(rowHeight);
        rowsLayout_->addWidget(cell, 0, Qt::AlignHCenter);
    }
    scroll_->setFixedHeight(listHeight(int(bookmarkList_.size())));
    adjustSize();
    emit listChanged();
}

}  // namespace qv::webpanels
