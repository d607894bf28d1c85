#include "webpanels/TunnelListView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QThreadPool>
#include <QVBoxLayout>

#include "helpers/NiceButtonStyle.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "webpanels/PickedTunnelWindows.h"
#include "webpanels/ScriptCalls.h"

namespace qv::webpanels {

namespace {

constexpr QSize kThumbnailSize(120, 72);
constexpr int kCellSpacing = 10;
constexpr qreal kCornerRadius = 10;

QFont headlineFont(QFont font) {
    font.setBold(true);
    font.setPointSizeF(13);
    return font;
}

// The window's picture filling 120 x 72 (cropped, not squeezed) in a rounded frame with a white
// border.
class ThumbnailButton : public QAbstractButton {
public:
    ThumbnailButton(const QImage& picture, QWidget* parent) : QAbstractButton(parent), picture_(picture) {
        setFixedSize(kThumbnailSize);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
        QPainterPath clip;
        clip.addRoundedRect(frame, kCornerRadius, kCornerRadius);
        p.save();
        p.setClipPath(clip);
        if (!picture_.isNull()) {
            const QSize filled = picture_.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
            QRect target(QPoint(0, 0), filled);
            target.moveCenter(rect().center());
            p.drawImage(target, picture_);
        }
        if (isDown()) p.fillRect(rect(), QColor(0, 0, 0, 60));
        p.restore();
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame, kCornerRadius, kCornerRadius);
    }

private:
    QImage picture_;
};

}  // namespace

TunnelListView::TunnelListView(std::shared_ptr<PickedTunnelWindows> windows, ScriptRunner runInWhiteboard, QWidget* parent)
    : QWidget(parent), windows_(std::move(windows)), runInWhiteboard_(std::move(runInWhiteboard)) {
    setObjectName(QStringLiteral("tunnelList"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // The list: white on gray in a rounded rectangle.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("tunnelListScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setStyleSheet(QStringLiteral(
        "QScrollArea#tunnelListScroll { background: gray; border-radius: 10px; }"
        "QWidget#tunnelListContent { background: transparent; color: white; }"
        "QLabel { color: white; }"));
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("tunnelListContent"));
    listLayout_ = new QVBoxLayout(content);
    listLayout_->setContentsMargins(0, 5, 0, 5);
    listLayout_->setSpacing(0);

    auto* heading = new QLabel(QStringLiteral("Please select one window to show."), content);
    heading->setObjectName(QStringLiteral("tunnelListHeading"));
    heading->setFont(headlineFont(heading->font()));
    heading->setWordWrap(true);
    listLayout_->addWidget(heading);

    emptyText_ = new QLabel(
        QStringLiteral("No windows can be viewing now, please make sure other windows are opened in same desktop space."),
        content);
    emptyText_->setObjectName(QStringLiteral("tunnelListEmpty"));
    emptyText_->setFont(headlineFont(emptyText_->font()));
    emptyText_->setWordWrap(true);
    emptyText_->hide();
    listLayout_->addWidget(emptyText_);

    // Why there is nothing to list at all on this desktop (for example Wayland without X).
    unavailableText_ = new QLabel(content);
    unavailableText_->setObjectName(QStringLiteral("tunnelListUnavailable"));
    unavailableText_->setWordWrap(true);
    unavailableText_->setTextFormat(Qt::PlainText);
    unavailableText_->hide();
    listLayout_->addWidget(unavailableText_);
    listLayout_->addStretch(1);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    // "Refresh" and "Close", 25 points high along the bottom.
    auto* buttons = new QWidget(this);
    buttons->setFixedHeight(25);
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(kCellSpacing);
    const app::NiceButtonStyle style{Qt::white, Qt::gray, QApplication::palette().color(QPalette::Highlight)};
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), buttons);
    auto* close = new QPushButton(QStringLiteral("Close"), buttons);
    for (QPushButton* button : {refresh, close}) {
        button->setObjectName(button->text());
        style.apply(button);
        button->setFixedHeight(25);
        button->setCursor(Qt::PointingHandCursor);
    }
    buttonRow->addStretch(1);
    buttonRow->addWidget(refresh);
    buttonRow->addWidget(close);
    buttonRow->addStretch(1);
    outer->addWidget(buttons, 0, Qt::AlignBottom);
    connect(refresh, &QPushButton::clicked, this, &TunnelListView::loadWindows);
    connect(close, &QPushButton::clicked, this, [] { app::post(QString::fromLatin1(app::notification::OpenTunnelList)); });
}

TunnelListView::~TunnelListView() = default;

void TunnelListView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (appeared_) return;
    appeared_ = true;
    loadWindows();
}

void TunnelListView::loadWindows() {
    ++loading_;
    const int generation = ++generation_;
    // Listing reads every window's picture: off the main thread, the result handed back.
    QThreadPool::globalInstance()->start([windows = windows_, self = QPointer<TunnelListView>(this), generation] {
        std::vector<TunnelWindowEntry> entries = windows ? windows->listWindows() : std::vector<TunnelWindowEntry>{};
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, entries = std::move(entries)]() mutable {
                if (!self) return;
                --self->loading_;
                if (generation != self->generation_) return;  // a later "Refresh" is under way
                std::vector<TunnelWindow> list;
                list.reserve(entries.size());
                for (TunnelWindowEntry& e : entries) {
                    if (e.thumbnail.isNull()) continue;
                    list.push_back({QUuid::createUuid(), e.name, e.bounds, std::move(e.thumbnail), e.windowID, e.pid});
                }
                self->setWindows(std::move(list));
            },
            Qt::QueuedConnection);
    });
}

void TunnelListView::setWindows(std::vector<TunnelWindow> windows) {
    windowsArray_ = std::move(windows);
    loadedOnce_ = true;
    if (rows_) {
        listLayout_->removeWidget(rows_);
        delete rows_;
    }
    rows_ = new QWidget;
    rows_->setObjectName(QStringLiteral("tunnelRows"));
    auto* rowsLayout = new QVBoxLayout(rows_);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(0);
    const int count = int(windowsArray_.size());
    for (int r = 0; r < (count + columnCount - 1) / columnCount; ++r) {
        rowsLayout->addSpacing(5);
        auto* row = new QWidget(rows_);
        row->setObjectName(QStringLiteral("tunnelRow"));
        auto* cells = new QHBoxLayout(row);
        cells->setContentsMargins(0, 0, 0, 0);
        cells->setSpacing(kCellSpacing);
        cells->addStretch(1);
        for (int c = 0; c < columnCount; ++c) {
            const int index = r * columnCount + c;
            if (index < count) cells->addWidget(makeCell(windowsArray_[index], row));
        }
        cells->addStretch(1);
        rowsLayout->addWidget(row);
    }
    // After the heading and the texts, before the closing stretch.
    listLayout_->insertWidget(listLayout_->count() - 1, rows_);
    emptyText_->setVisible(windowsArray_.empty());
    const QString reason = windows_ ? windows_->unavailableReason() : QString();
    unavailableText_->setText(reason);
    unavailableText_->setVisible(windowsArray_.empty() && !reason.isEmpty());
    emit windowsLoaded();
}

QWidget* TunnelListView::makeCell(const TunnelWindow& window, QWidget* parent) {
    auto* cell = new QWidget(parent);
    cell->setObjectName(QStringLiteral("tunnelCell"));
    cell->setFixedWidth(kThumbnailSize.width());
    auto* column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* thumbnail = new ThumbnailButton(window.thumbnail, cell);
    thumbnail->setObjectName(QStringLiteral("tunnelThumbnail"));
    // A tool tip guesses markup: the name goes in as the literal text it is.
    thumbnail->setToolTip(Qt::convertFromPlainText(window.name));
    connect(thumbnail, &QAbstractButton::clicked, this, [this, window] { showWindow(window); });
    column->addWidget(thumbnail, 0, Qt::AlignHCenter);
    auto* name = new QLabel(cell);
    name->setObjectName(QStringLiteral("tunnelName"));
    name->setFixedWidth(kThumbnailSize.width());
    name->setAlignment(Qt::AlignHCenter);
    name->setTextFormat(Qt::PlainText);
    name->setText(name->fontMetrics().elidedText(window.name, Qt::ElideRight, kThumbnailSize.width()));
    column->addWidget(name);
    return cell;
}

void TunnelListView::showWindow(const TunnelWindow& window) {
    util::printLine(QStringLiteral("clicked Tunnel Window: %1").arg(window.windowID));
    if (windows_) windows_->pick(window.windowID, window.pid);
    QString dataAddress;
    if (windows_) {
        if (const auto picture = windows_->windowPicture(window.windowID)) dataAddress = jpegDataAddress(*picture);
    }
    if (runInWhiteboard_) runInWhiteboard_(showTunnelWindowCall(window.windowID, dataAddress, window.name));
    app::post(QString::fromLatin1(app::notification::OpenTunnelList));
    app::post(QString::fromLatin1(app::notification::OpenDocCamera), {{QStringLiteral("type"), QStringLiteral("close")}});
}

}  // namespace qv::webpanels
