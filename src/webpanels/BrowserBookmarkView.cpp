#include "webpanels/BrowserBookmarkView.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "helpers/NiceButtonStyle.h"
#include "state/AppState.h"
#include "state/QtPrint.h"
#include "webpanels/BookmarkListModel.h"
#include "webpanels/BookmarkListView.h"
#include "webpanels/BookmarkPictures.h"
#include "webpanels/BrowserWebView.h"

namespace qv::webpanels {

namespace {
const QColor stackColor(128, 128, 128);  // gray
}  // namespace

void removeBookmarkPicture(const QString& folder, const Bookmark& bookmark) {
    // Only a picture inside the bookmark folder: a name from the file that leads elsewhere is left alone.
    if (const auto picture = bookmarkPicturePath(folder, bookmark.thumbnail)) QFile::remove(*picture);
}

BrowserBookmarkView::BrowserBookmarkView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("bookmarkView"));
    setFixedWidth(stackWidth);
    setAttribute(Qt::WA_TranslucentBackground);
    QPalette white = palette();
    white.setColor(QPalette::WindowText, Qt::white);
    setPalette(white);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, padding, 0, padding);
    column->setSpacing(5);

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
    error_->setFixedWidth(stackWidth - 2 * padding);
    error_->setStyleSheet(QStringLiteral("color: #ffd0d0;"));
    error_->hide();
    column->addWidget(error_, 0, Qt::AlignHCenter);

    model_ = new BookmarkListModel(this);
    pictures_ = new BookmarkPictures(folder(), this);
    list_ = new BookmarkListView(model_, pictures_, this);
    list_->setFixedWidth(stackWidth);
    list_->onClicked = [this](int row) { openBookmark(model_->at(row)); };
    list_->onRemoved = [this](int row) { removeRow(row); };
    // A picture read: the rows on screen are drawn again (only they are drawn at all).
    connect(pictures_, &BookmarkPictures::arrived, list_->viewport(), qOverload<>(&QWidget::update));
    column->addWidget(list_, 0, Qt::AlignHCenter);

    empty_ = new QLabel(QStringLiteral("No Bookmarks yet"), this);
    empty_->setObjectName(QStringLiteral("noBookmarks"));
    QFont headline = empty_->font();
    headline.setBold(true);
    empty_->setFont(headline);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setFixedSize(stackWidth, listHeight(0));
    empty_->installEventFilter(this);
    column->addWidget(empty_, 0, Qt::AlignHCenter);
    listSizeChanged();
}

BrowserBookmarkView::~BrowserBookmarkView() = default;

const QList<Bookmark>& BrowserBookmarkView::bookmarkList() const { return model_->list(); }

int BrowserBookmarkView::listHeight(int count) { return count <= 4 ? (count + 1) * 80 : 500; }

QString BrowserBookmarkView::folder() const {
    const auto folders = app::folderLocations();
    return folders ? folders->bookmarkFolderURL : QString();
}

QString BrowserBookmarkView::errorText() const { return error_->isVisible() ? error_->text() : QString(); }

void BrowserBookmarkView::showError(const QString& text) {
    error_->setText(text);
    error_->setVisible(!text.isEmpty());
    adjustSize();
    emit listChanged();
}

void BrowserBookmarkView::paintEvent(QPaintEvent*) {
    // A gray stack, clipped to its rounded corners; the list and the button lie on it.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(stackColor);
    p.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
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
    if (model_->rowCount() == 0 && !loading_) loadBookmarks();
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
    // Read and parsed on a worker: a long list costs the window nothing. The pictures are read
    // later, row by row, as they come on screen.
    loading_ = true;
    QPointer<BrowserBookmarkView> self(this);
    QThreadPool::globalInstance()->start([self, file] {
        QString error;
        std::optional<QList<Bookmark>> parsed;
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            error = in.errorString();
        else
            parsed = parseBookmarks(in.readAll(), &error);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, parsed = std::move(parsed), error]() mutable {
                if (!self) return;
                if (parsed) {
                    self->finishLoading(std::move(*parsed));
                    return;
                }
                // Never loaded: nothing may overwrite the unread file.
                self->loading_ = false;
                util::printLine(QStringLiteral("Bookmarks.json read error: ") + error);
                self->showError(QStringLiteral("The bookmarks could not be read: ") + error);
            },
            Qt::QueuedConnection);
    });
}

void BrowserBookmarkView::finishLoading(QList<Bookmark> list) {
    loading_ = false;
    loaded_ = true;
    model_->setList(std::move(list));
    listSizeChanged();
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
    const QString error =
        dir.isEmpty() ? QStringLiteral("no save folder") : writeWholeFile(bookmarksFilePath(dir), bookmarksJson(model_->list()));
    if (!error.isEmpty()) {
        util::printLine(QStringLiteral("update bookmarks.json error: ") + error);
        showError(QStringLiteral("The bookmarks could not be saved: ") + error);
    }
}

void BrowserBookmarkView::removeBookmark(const Bookmark& bookmark) {
    whenLoaded([this, bookmark] {
        if (!model_->removeFirstEqual(bookmark)) return;
        saveBookmarks();
        listSizeChanged();
    });
}

void BrowserBookmarkView::removeRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    const Bookmark bookmark = model_->at(row);
    removeBookmarkPicture(folder(), bookmark);
    pictures_->forget(bookmark.thumbnail);
    removeBookmark(bookmark);
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
            self->pictures_->insert(bookmark.thumbnail, bitmap);
            self->model_->prepend(bookmark);
            self->saveBookmarks();
            self->listSizeChanged();
            emit self->bookmarkAdded(bookmark);
        });
    });
}

void BrowserBookmarkView::listSizeChanged() {
    const int count = model_->rowCount();
    empty_->setVisible(count == 0);
    list_->setVisible(count > 0);
    list_->setFixedHeight(listHeight(count));
    adjustSize();
    emit listChanged();
}

}  // namespace qv::webpanels
