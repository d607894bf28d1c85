#include "library/ArchiveListView.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

#include "helpers/DesktopOpen.h"
#include "helpers/FolderListing.h"
#include "helpers/Thumbnails.h"
#include "library/LibraryImages.h"
#include "library/MainThreadHandover.h"
#include "library/RoundedPanel.h"
#include "library/ThumbnailList.h"
#include "library/ThumbnailView.h"
#include "state/AppState.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

namespace nt = app::notification;

namespace {

constexpr int kBodyWidth = 140;
constexpr int kHandleSize = 50;
constexpr int kHandleOverlap = 33;
constexpr int kAnimationMs = 500;
const char* const kNoFolderMessage =
    "No Permissions granted to save files on your computer, please restart app and choose a folder to save files!";

// A row of the list's top: an image 24 x 24 and a title 100 wide; a tap runs the action.
class TapRow : public QWidget {
public:
    // `name` is the row's object name, kept whatever the title reads.
    TapRow(const QString& name, const QString& title, const QString& image, std::function<void()> action,
           QWidget* parent)
        : QWidget(parent), action_(std::move(action)) {
        setObjectName(name);
        setCursor(Qt::PointingHandCursor);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 2, 0, 2);
        layout->setSpacing(0);
        layout->addStretch(1);
        auto* icon = new QLabel(this);
        icon->setFixedSize(24, 24);
        icon->setPixmap(libraryImage(image, QSize(24, 24)));
        layout->addWidget(icon);
        auto* label = new QLabel(title, this);
        label->setFixedWidth(100);
        label->setWordWrap(true);  // a longer title takes a second line within its 100
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setIndent(4);
        layout->addWidget(label);
        layout->addStretch(1);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && action_) action_();
    }

private:
    std::function<void()> action_;
};

// The collapse handle: a gray segment of a circle whose arc runs through the square's rightmost
// point, with an arrow pointing left while the list is open and right while it is collapsed.
class CollapseHandle : public QWidget {
public:
    CollapseHandle(std::function<bool()> pointsLeft, std::function<void()> action, QWidget* parent)
        : QWidget(parent), pointsLeft_(std::move(pointsLeft)), action_(std::move(action)) {
        setObjectName(QStringLiteral("collapseHandle"));
        setFixedSize(kHandleSize, kHandleSize);
        setCursor(Qt::PointingHandCursor);
    }

    // The segment: the circle's outline from 30 % to 70 % of its length (clockwise from the
    // rightmost point) closed by its chord, turned by half a turn about the centre.
    static QPainterPath segment() {
        const QRectF circle(0, 0, kHandleSize, kHandleSize);
        QPainterPath path;
        // After the half turn the arc runs from -72 to +72 degrees around the rightmost point.
        path.arcMoveTo(circle, 72);
        path.arcTo(circle, 72, -144);
        path.closeSubpath();
        return path;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(segment(), Qt::gray);
        p.translate(41, 25);
        p.rotate(pointsLeft_() ? 90 : -90);
        const QPixmap arrow = libraryImage(QStringLiteral("toolbar_arrow_down"), QSize(16, 16));
        p.drawPixmap(QPoint(-8, -8), arrow);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && action_) action_();
    }

private:
    std::function<bool()> pointsLeft_;
    std::function<void()> action_;
};

}  // namespace

ArchiveListView::ArchiveListView(QWidget* parent) : QWidget(parent), handover_(MainThreadHandover::create(this)) {
    setObjectName(QStringLiteral("archiveList"));
    openFolder = [](const QString& folder, std::function<void(bool)> settled) {
        app::openOnDesktop(QUrl::fromLocalFile(folder),
                           QStringLiteral("No file manager could show the folder:"), std::move(settled));
    };

    row_ = new QWidget(this);
    row_->setObjectName(QStringLiteral("archiveRow"));
    body_ = new RoundedPanel(Qt::gray, row_);
    body_->setObjectName(QStringLiteral("archiveBody"));
    body_->setFixedWidth(kBodyWidth);
    auto* column = new QVBoxLayout(body_);
    column->setContentsMargins(0, 5, 0, 5);
    column->setSpacing(0);
    // The platform's file viewer is the desktop's file manager.
    finderRow_ = new TapRow(QStringLiteral("Open in Finder"), QStringLiteral("Open in File Manager"),
                            QStringLiteral("toolbar_folder"), [this] { openInFinder(); }, body_);
    column->addWidget(finderRow_);
    if (app::isWendleEdition()) {
        gifRow_ = new TapRow(QStringLiteral("Generate GIF"), QStringLiteral("Generate GIF"), QStringLiteral("toolbar_gif"),
                             [this] { openGifGenerator(); }, body_);
        column->addWidget(gifRow_);
    }
    list_ = new ThumbnailList(
        QStringLiteral("No Snapshots yet."),
        [this](const LibraryFilePtr& item, QWidget* parent) {
            return new ThumbnailView(
                QStringLiteral("archive"), false, item, [this, item] { removeFile(item); },
                [this, item] { showSideBySide(item); }, parent);
        },
        body_);
    list_->setFixedWidth(kBodyWidth);
    column->addWidget(list_);
    body_->installEventFilter(this);

    handle_ = new CollapseHandle([this] { return handlePointsLeft(); }, [this] { toggleCollapsed(); }, row_);

    auto& center = app::NotificationCenter::defaultCenter();
    center.addObserver(this, nt::ImageCaptured,
                       [this](const app::Notification& n) { addCapturedFile(n, LibraryFileType::PNG); });
    center.addObserver(this, nt::VideoRecorded,
                       [this](const app::Notification& n) { addCapturedFile(n, LibraryFileType::MP4); });
    center.addObserver(this, nt::HideArchiveList, [this](const app::Notification&) { collapse(); });
    contentChanged();
}

ArchiveListView::~ArchiveListView() { handover_->detach(); }

QSize ArchiveListView::sizeHint() const {
    const int h = std::max(body_->sizeHint().height(), kHandleSize);
    return {kBodyWidth + kHandleSize - kHandleOverlap, h};
}

bool ArchiveListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == body_ && event->type() == QEvent::LayoutRequest) QTimer::singleShot(0, this, [this] { contentChanged(); });
    return QWidget::eventFilter(watched, event);
}

void ArchiveListView::contentChanged() {
    const QSize size = sizeHint();
    const int bodyHeight = body_->sizeHint().height();
    body_->setGeometry(0, (size.height() - bodyHeight) / 2, kBodyWidth, bodyHeight);
    handle_->move(kBodyWidth - kHandleOverlap, (size.height() - kHandleSize) / 2);
    row_->resize(size);
    if (this->size() != size) {
        resize(size);
        // Kept vertically centred in the window as the list grows.
        if (QWidget* p = parentWidget()) move(x(), (p->height() - size.height()) / 2);
    }
    applyShift(shift_);
}

void ArchiveListView::applyShift(int shift) {
    shift_ = shift;
    row_->move(-shift, 0);
    // Only what is in view takes the pointer: a collapsed list leaves the camera free.
    QRegion visible = QRegion(body_->geometry().translated(-shift, 0)) + QRegion(handle_->geometry().translated(-shift, 0));
    setMask(visible & QRegion(rect()));
}

void ArchiveListView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) panelAppeared();
}

LibraryFilePtr ArchiveListView::itemForUrl(const QUrl& url) const {
    for (const LibraryFilePtr& item : fileList_)
        if (item->url && *item->url == url) return item;
    return nullptr;
}

void ArchiveListView::removeFromFileList(const QUuid& id) {
    auto it = std::find_if(fileList_.begin(), fileList_.end(), [&](const LibraryFilePtr& f) { return f->id == id; });
    if (it == fileList_.end()) return;
    fileList_.erase(it);
    list_->removeItem(id);
    emit fileListChanged();
}

void ArchiveListView::clearFirstFile() {
    firstFile_.reset();
    emit fileListChanged();
}

void ArchiveListView::panelAppeared() {
    if (!fileList_.empty()) return;
    loadArchive();
    if (appearedOnce_) return;
    appearedOnce_ = true;
    QTimer::singleShot(collapseDelayMs, this, [this] { collapse(); });
}

void ArchiveListView::loadArchive() {
    app::archiveListView = this;
    ++loadGeneration_;
    fileList_.clear();
    list_->setItems({});
    emit fileListChanged();

    const std::shared_ptr<const app::FolderLocations> folders = app::folderLocations();
    if (!folders) {
        util::printLine("NO Archive Library yet");
        QTimer::singleShot(retryDelayMs, this, [this] { loadArchive(); });
        return;
    }
    // The folders are listed on the worker too: a slow disk never holds up the window.
    const int generation = loadGeneration_;
    const QString images = folders->imagesFolderURL, videos = folders->videosFolderURL;
    std::shared_ptr<MainThreadHandover> handover = handover_;
    QThreadPool::globalInstance()->start([this, handover, generation, images, videos] {
        QStringList paths;
        try {
            paths = app::contentsOfDirectory(images, videos, app::FileDateKind::contentModificationDate, false, true);
        } catch (const app::FolderListingError&) {
            util::printLine(" Failed to read directory – bad permissions, perhaps? ");
            return;
        }
        for (const QString& path : paths) {
            // A folder stands for a converted presentation: its url ends with "/".
            const bool isDir = QFileInfo(path).isDir();
            LibraryFilePtr item = makeLibraryFile(QUrl::fromLocalFile(isDir ? path + QLatin1Char('/') : path));
            const QString thumbnail = localPath(item->thumbnail);
            if (!QFileInfo::exists(thumbnail)) continue;
            std::optional<QImage> image = app::makeThumbnail(thumbnail, nullptr);
            if (!image) continue;
            item->thumbnailImage = std::move(image);
            const bool handed = handover->post([this, generation, item] {
                if (generation != loadGeneration_) return;  // a newer load started meanwhile
                fileList_.push_back(item);
                list_->appendItem(item);
                emit fileListChanged();
            });
            if (!handed) return;  // the list is gone
        }
        handover->post([this, generation] {
            if (generation != loadGeneration_) return;
            util::printLine("Total Files in Images:", std::to_string(fileList_.size()));
            emit loadFinished();
        });
    });
}

void ArchiveListView::addCapturedFile(const app::Notification& notification, LibraryFileType type) {
    const QVariant value = notification.userInfo.value(QStringLiteral("url"));
    QUrl url;
    if (value.typeId() == QMetaType::QUrl)
        url = value.toUrl();
    else if (value.typeId() == QMetaType::QString)
        url = QUrl::fromLocalFile(value.toString());
    if (!url.isValid() || url.isEmpty()) return;

    auto item = std::make_shared<LibraryFile>();
    const QString component = QFileInfo(url.toLocalFile()).fileName();
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    item->name = dot > 0 ? component.left(dot) : component;
    item->url = url;
    item->type = type;
    item->thumbnail = url;
    // Announced files are made one at a time, so that they reach the top in announcement order.
    static QThreadPool* announcements = [] {
        auto* pool = new QThreadPool;
        pool->setMaxThreadCount(1);
        return pool;
    }();
    std::shared_ptr<MainThreadHandover> handover = handover_;
    announcements->start([this, handover, item, type, path = url.toLocalFile()] {
        QString error;
        std::optional<QImage> image = app::makeThumbnail(path, &error);
        // No picture: the file shows up at the next full load.
        if (!image) return;
        handover->post([this, item, type, image = std::move(image)] {
            item->thumbnailImage = image;
            fileList_.insert(fileList_.begin(), item);
            if (type == LibraryFileType::PNG && !firstFile_) firstFile_ = item;
            list_->prependItem(item);
            emit fileListChanged();
            emit capturedFileInserted(item);
        });
    });
}

void ArchiveListView::setHideArchiveList(bool hide, bool animated) {
    hideArchiveList_ = hide;
    const int target = hide ? kBodyWidth : 0;
    if (animation_) animation_->stop();
    if (!animated) {
        applyShift(target);
    } else {
        auto* animation = new QVariantAnimation(this);
        animation->setDuration(kAnimationMs);
        animation->setEasingCurve(QEasingCurve::InQuad);
        animation->setStartValue(shift_);
        animation->setEndValue(target);
        connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { applyShift(v.toInt()); });
        animation_ = animation;
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
    handle_->update();
}

void ArchiveListView::collapse() { setHideArchiveList(true, true); }

void ArchiveListView::toggleCollapsed() { setHideArchiveList(!hideArchiveList_, true); }

void ArchiveListView::openInFinder() {
    const std::shared_ptr<const app::FolderLocations> folders = app::folderLocations();
    if (!folders) {
        auto* alert = new QMessageBox(QMessageBox::Warning, QString(), QString::fromUtf8(kNoFolderMessage),
                                      QMessageBox::Ok, window());
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->setObjectName(QStringLiteral("noFolderAlert"));
        noFolderAlert_ = alert;
        alert->open();
        return;
    }
    // The list slides away once the file manager is there; where none could show the folder the
    // window says so and the list stays, as the teacher left it.
    if (!openFolder) return;
    QPointer<ArchiveListView> self(this);
    openFolder(folders->rootFolderURL, [self](bool opened) {
        if (self && opened) self->setHideArchiveList(true, false);
    });
}

void ArchiveListView::openGifGenerator() {
    app::post(nt::OpenGifGenerator);
    setHideArchiveList(true, false);
}

void ArchiveListView::showSideBySide(const LibraryFilePtr& item) {
    app::post(nt::OpenSideBySide, {{QStringLiteral("url"), item->url.value_or(QUrl())}});
}

void ArchiveListView::removeFile(const LibraryFilePtr& item) { removeFromFileList(item->id); }

}  // namespace qv::library
