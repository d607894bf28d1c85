#include "webpanels/BookmarkListView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include "webpanels/BookmarkListModel.h"
#include "webpanels/BookmarkPictures.h"
#include "webpanels/BrowserImages.h"

namespace qv::webpanels {

namespace {
constexpr int barWidth = 8;
const QColor loadingColor(110, 110, 110);
const QColor placeholderColor(90, 90, 90);
}  // namespace

// --- BookmarkThumbnailView ---

BookmarkThumbnailView::BookmarkThumbnailView(const BookmarkListModel* model, BookmarkPictures* pictures,
                                             QObject* parent)
    : QStyledItemDelegate(parent), model_(model), pictures_(pictures) {}

QRect BookmarkThumbnailView::pictureRect(const QRect& row) {
    return QRect(row.x() + (row.width() - pictureWidth) / 2, row.y() + spacing, pictureWidth, pictureHeight);
}

QRect BookmarkThumbnailView::closeRect(const QRect& row) {
    const QRect picture = pictureRect(row);
    return QRect(picture.x() + closeOffset, picture.y() + closeOffset, closeSide, closeSide);
}

QRect BookmarkThumbnailView::nameRect(const QRect& row, const QFontMetrics& metrics) {
    const QRect picture = pictureRect(row);
    return QRect(picture.x(), picture.bottom() + 1 + spacing, pictureWidth, metrics.height());
}

int BookmarkThumbnailView::rowHeight(const QFontMetrics& metrics) {
    return spacing + pictureHeight + spacing + metrics.height() + spacing;
}

QSize BookmarkThumbnailView::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(pictureWidth + 2 * spacing, rowHeight(option.fontMetrics));
}

void BookmarkThumbnailView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= model_->rowCount()) return;
    const QString thumbnail = model_->at(index.row()).thumbnail;
    const QString name = model_->at(index.row()).name;
    const QRect picture = pictureRect(option.rect);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    // The picture, filling its frame (cropped), inside the rounded border.
    const QRectF frame = QRectF(picture).adjusted(1, 1, -1, -1);
    QPainterPath clip;
    clip.addRoundedRect(frame, cornerRadius, cornerRadius);
    painter->save();
    painter->setClipPath(clip);
    const BookmarkPictures::Picture shown = pictures_->picture(thumbnail);
    if (shown.state == BookmarkPictures::State::shown) {
        const QSizeF scaled = QSizeF(shown.image.size()).scaled(QSizeF(picture.size()), Qt::KeepAspectRatioByExpanding);
        const QRectF target(QPointF(picture.x() + (picture.width() - scaled.width()) / 2,
                                    picture.y() + (picture.height() - scaled.height()) / 2),
                            scaled);
        painter->drawImage(target, shown.image);
    } else if (shown.state == BookmarkPictures::State::missing) {
        painter->fillRect(picture, placeholderColor);
        painter->setPen(QColor(220, 220, 220));
        painter->drawText(picture, Qt::AlignCenter, QStringLiteral("No picture"));
    } else {
        painter->fillRect(picture, loadingColor);
    }
    painter->restore();
    painter->setPen(QPen(Qt::white, 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(frame, cornerRadius, cornerRadius);

    // The name: a page's title, drawn as the text it is, on one line.
    painter->setPen(Qt::white);
    painter->setFont(option.font);
    const QRect nameArea = nameRect(option.rect, option.fontMetrics);
    painter->drawText(nameArea, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(QString(name).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                                    Qt::ElideRight, nameArea.width()));

    const auto* list = qobject_cast<const BookmarkListView*>(option.widget);
    if (list && list->hoveredRow() == index.row()) {
        const qreal ratio = painter->device()->devicePixelRatioF();
        if (close_.isNull() || close_.devicePixelRatio() != ratio)
            close_ = browserImage(QStringLiteral("close"), QSize(closeSide, closeSide), ratio);
        painter->drawPixmap(closeRect(option.rect).topLeft(), close_);
    }
    painter->restore();
}

// --- BookmarkListView ---

BookmarkListView::BookmarkListView(BookmarkListModel* model, BookmarkPictures* pictures, QWidget* parent)
    : QListView(parent) {
    setObjectName(QStringLiteral("bookmarkList"));
    setModel(model);
    setItemDelegate(new BookmarkThumbnailView(model, pictures, this));
    // Every row is as high as the next: the view places any number of rows without asking each.
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);  // the close mark follows the pointer, no button held
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QListView { background: transparent; }"));

    // The bar that shows: over the right margin, mirroring the view's own hidden one.
    bar_ = new QScrollBar(Qt::Vertical, this);
    bar_->setObjectName(QStringLiteral("bookmarkScrollBar"));
    bar_->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 110); border-radius: 3px; min-height: 24px;"
        " margin: 1px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    bar_->hide();
    QScrollBar* own = verticalScrollBar();
    connect(own, &QScrollBar::rangeChanged, bar_, [this, own](int minimum, int maximum) {
        bar_->setRange(minimum, maximum);
        bar_->setPageStep(own->pageStep());
        bar_->setSingleStep(own->singleStep());
        bar_->setVisible(maximum > minimum);
    });
    connect(own, &QScrollBar::valueChanged, bar_, &QScrollBar::setValue);
    connect(bar_, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
    // The close mark follows the pointer as rows move under it.
    connect(own, &QScrollBar::valueChanged, this, [this] {
        int row = -1;
        const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
        setHoveredRow(viewport()->rect().contains(at) && partAt(at, &row) != Part::none ? row : -1);
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { setHoveredRow(-1); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { setHoveredRow(-1); });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { setHoveredRow(-1); });
}

void BookmarkListView::setHoveredRow(int row) {
    if (row == hovered_) return;
    hovered_ = row;
    viewport()->setCursor(row >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    viewport()->update();
}

BookmarkListView::Part BookmarkListView::partAt(const QPoint& position, int* row) const {
    const QModelIndex index = indexAt(position);
    if (!index.isValid()) return Part::none;
    const QRect cell = visualRect(index);
    *row = index.row();
    if (BookmarkThumbnailView::closeRect(cell).contains(position)) return Part::close;
    if (BookmarkThumbnailView::pictureRect(cell).contains(position)) return Part::picture;
    return Part::none;
}

void BookmarkListView::mouseMoveEvent(QMouseEvent* event) {
    int row = -1;
    setHoveredRow(partAt(event->position().toPoint(), &row) != Part::none ? row : -1);
    event->accept();
}

void BookmarkListView::mousePressEvent(QMouseEvent* event) {
    pressedRow_ = -1;
    pressedPart_ = Part::none;
    if (event->button() == Qt::LeftButton) pressedPart_ = partAt(event->position().toPoint(), &pressedRow_);
    event->accept();
}

void BookmarkListView::mouseReleaseEvent(QMouseEvent* event) {
    int row = -1;
    const Part part = event->button() == Qt::LeftButton ? partAt(event->position().toPoint(), &row) : Part::none;
    const bool same = part != Part::none && part == pressedPart_ && row == pressedRow_;
    pressedRow_ = -1;
    pressedPart_ = Part::none;
    event->accept();
    if (!same) return;
    // The close mark is there only while the pointer is over its picture.
    if (part == Part::close && hovered_ == row) {
        if (onRemoved) onRemoved(row);
    } else if (onClicked) {
        onClicked(row);
    }
}

void BookmarkListView::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void BookmarkListView::leaveEvent(QEvent* event) {
    QListView::leaveEvent(event);
    setHoveredRow(-1);
}

void BookmarkListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    placeScrollBar();
}

void BookmarkListView::placeScrollBar() { bar_->setGeometry(width() - barWidth, 0, barWidth, height()); }

}  // namespace qv::webpanels
