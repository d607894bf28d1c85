#include "library/ThumbnailView.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "library/LibraryImages.h"
#include "library/PlainTextAlert.h"
#include "util/Print.h"

namespace qv::library {

namespace {
constexpr int kCornerRadius = 10;
constexpr int kControlInset = 5;
constexpr int kSpacer = 5;
constexpr int kTop = 2;  // room for the thumbnail's border
}  // namespace

ThumbnailView::ThumbnailView(QString fileSource, bool showFav, LibraryFilePtr libraryFileItem, Action onRemoved,
                             Action onClicked, QWidget* parent)
    : QWidget(parent),
      fileSource_(std::move(fileSource)),
      showFav_(showFav),
      libraryFileItem_(std::move(libraryFileItem)),
      onRemoved_(std::move(onRemoved)),
      onClicked_(std::move(onClicked)) {
    setObjectName(QStringLiteral("thumbnailCell"));
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
}

ThumbnailView::~ThumbnailView() {
    if (deleteAlert_) deleteAlert_->deleteLater();
}

bool ThumbnailView::hasPicture() const { return libraryFileItem_ && libraryFileItem_->thumbnailImage.has_value(); }

QSize ThumbnailView::sizeHint() const {
    const int nameHeight = fontMetrics().height();
    return {thumbnailWidth + 20, (hasPicture() ? kTop + thumbnailHeight + kTop : 0) + nameHeight + kSpacer};
}

int ThumbnailView::heightWithPicture(const QFont& font) {
    return kTop + thumbnailHeight + kTop + QFontMetrics(font).height() + kSpacer;
}

QRect ThumbnailView::thumbnailRect() const {
    if (!hasPicture()) return {};
    return QRect((width() - thumbnailWidth) / 2, kTop, thumbnailWidth, thumbnailHeight);
}

QRect ThumbnailView::hoverControlRect() const {
    const QRect t = thumbnailRect();
    if (t.isEmpty()) return {};
    return QRect(t.left() + kControlInset, t.top() + kControlInset, controlSize, controlSize);
}

bool ThumbnailView::showsDeleteButton() const { return hasPicture() && hovered_ && !showFav_; }
bool ThumbnailView::showsFavoriteButton() const { return hasPicture() && hovered_ && showFav_; }
bool ThumbnailView::showsFavoritedMarker() const { return hasPicture() && libraryFileItem_->isFavorited; }

void ThumbnailView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    int y = 0;
    if (hasPicture()) {
        const QRect t = thumbnailRect();
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(t), kCornerRadius, kCornerRadius);
        p.save();
        p.setClipPath(rounded);
        // Scaled to fill the frame, the overflow cut off evenly.
        const QImage& image = *libraryFileItem_->thumbnailImage;
        const QSize filled = image.size().scaled(t.size(), Qt::KeepAspectRatioByExpanding);
        const QRect target(t.center().x() - filled.width() / 2 + 1, t.center().y() - filled.height() / 2 + 1,
                           filled.width(), filled.height());
        p.drawImage(target, image);
        // The type label over the top-right corner, 5 left and 5 down.
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        const QString label = rawValue(libraryFileItem_->type);
        const QFontMetrics fm(bold);
        QRect labelRect(0, 0, fm.horizontalAdvance(label) + 4, fm.height());
        labelRect.moveTopRight(QPoint(t.right() - 5, t.top() + 5));
        p.fillRect(labelRect, Qt::black);
        p.setPen(Qt::white);
        p.drawText(labelRect, Qt::AlignCenter, label);
        p.restore();
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(rounded);

        // Hover controls at the top-left corner.
        const QRect c = hoverControlRect();
        if (showsDeleteButton()) p.drawPixmap(c, libraryImage(QStringLiteral("close"), c.size()));
        if (showsFavoriteButton()) {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::gray);
            p.drawEllipse(c);
            p.drawPixmap(c.adjusted(4, 4, -4, -4), libraryImage(QStringLiteral("favorite"), c.size() - QSize(8, 8)));
        }
        if (showsFavoritedMarker()) {
            p.setPen(Qt::NoPen);
            p.setBrush(hoverColor);
            p.drawEllipse(c);
            p.drawPixmap(c.adjusted(4, 4, -4, -4), libraryImage(QStringLiteral("favorite"), c.size() - QSize(8, 8)));
        }
        y = t.bottom() + kTop;
    }
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const QRect nameRect(0, y, width(), fontMetrics().height());
    p.drawText(nameRect, Qt::AlignHCenter | Qt::AlignVCenter,
               fontMetrics().elidedText(libraryFileItem_->description(), Qt::ElideRight, width() - 4));
}

void ThumbnailView::setHovered(bool hovered) {
    if (hovered_ == hovered) return;
    hovered_ = hovered;
    update();
}

void ThumbnailView::leaveEvent(QEvent* event) {
    setHovered(false);
    QWidget::leaveEvent(event);
}

void ThumbnailView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hasPicture()) return QWidget::mousePressEvent(event);
    pressed_ = thumbnailRect().contains(event->position().toPoint());
    dragging_ = false;
    pressPos_ = event->position().toPoint();
}

void ThumbnailView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    setHovered(thumbnailRect().contains(pos));
    if (!pressed_ || dragging_ || !(event->buttons() & Qt::LeftButton)) return;
    if ((pos - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
    QMimeData* data = dragMimeData();
    if (!data) return;
    dragging_ = true;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QImage& image = *libraryFileItem_->thumbnailImage;
    drag->setPixmap(QPixmap::fromImage(image.scaled(thumbnailWidth, thumbnailHeight, Qt::KeepAspectRatio)));
    drag->exec(Qt::CopyAction);
    pressed_ = false;
}

void ThumbnailView::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = pressed_ && !dragging_;
    pressed_ = false;
    dragging_ = false;
    if (event->button() != Qt::LeftButton || !wasPressed) return;
    const QPoint pos = event->position().toPoint();
    if (hoverControlRect().contains(pos)) {
        // The favorited marker lies above the hover control.
        if (showsFavoritedMarker()) return setFavorited(false);
        if (showsFavoriteButton()) return setFavorited(true);
        if (showsDeleteButton()) return requestDeletion();
    }
    if (thumbnailRect().contains(pos)) tap();
}

void ThumbnailView::tap() {
    util::printLine("clicked Image");
    if (onClicked_) onClicked_();
}

void ThumbnailView::setFavorited(bool favorited) {
    libraryFileItem_->isFavorited = favorited;
    refresh_ = !refresh_;
    update();
}

QMimeData* ThumbnailView::dragMimeData() const {
    if (!libraryFileItem_->url) return nullptr;
    auto* data = new QMimeData;
    QUrl url = *libraryFileItem_->url;
    // A folder (a converted presentation) travels without its trailing slash, as file managers expect.
    url = QUrl::fromLocalFile(localPath(url));
    data->setUrls({url});
    return data;
}

void ThumbnailView::requestDeletion() {
    if (fileSource_ == QLatin1String("gif")) {
        if (onRemoved_) onRemoved_();
        return;
    }
    deletingLibraryFile_ = libraryFileItem_;
    showingDeleteAlert_ = true;

    const bool library = fileSource_ == QLatin1String("library");
    auto* alert = new QMessageBox(window());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setObjectName(QStringLiteral("deleteAlert"));
    alert->setIcon(QMessageBox::Warning);
    alert->setText(library ? QStringLiteral("Are you sure you want to remove this file from the plimsk bar?")
                           : QStringLiteral("Are you sure you want to delete this file?"));
    const QString name = deletingLibraryFile_->description();
    alert->setInformativeText(library ? name : name + QStringLiteral("\n\n This will DELETE the file from your computer."));
    showTextsPlain(*alert);
    QPushButton* yes = alert->addButton(QStringLiteral("Yes"), QMessageBox::AcceptRole);
    alert->addButton(QMessageBox::Cancel);
    alert->setDefaultButton(yes);
    deleteAlert_ = alert;
    QPointer<ThumbnailView> self(this);
    connect(alert, &QMessageBox::finished, this, [self, alert, yes] {
        if (!self) return;
        self->showingDeleteAlert_ = false;
        if (alert->clickedButton() == yes) self->deleteConfirmed();
    });
    alert->open();
}

void ThumbnailView::deleteConfirmed() {
    if (!deletingLibraryFile_) return;
    const QString path = localPath(deletingLibraryFile_->url);
    // A failed removal is not reported: the caller drops the item all the same.
    if (!path.isEmpty()) {
        // A converted presentation is a folder, removed whole; a link (to a folder or a file) is
        // removed itself, never what it points to.
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    // onRemoved may drop this cell: it is the last thing done here.
    if (onRemoved_) onRemoved_();
}

}  // namespace qv::library
