#include "app/rootview/RootView.h"

#include <QEasingCurve>
#include <QResizeEvent>
#include <QSplitter>
#include <QVariantAnimation>

#include "app/rootview/Layering.h"
#include "app/rootview/RootViewParts.h"
#include "state/AppState.h"
#include "controlbar/ControlBarView.h"

namespace qv::app {

namespace {
constexpr int kOpenAnimationMs = 500;

void placeAtSizeHint(QWidget* w) {
    const QSize hint = w->sizeHint();
    if (hint.isValid()) w->resize(hint);
}
}  // namespace

RootView::RootView(PanelFactories factories, Camera camera, QWidget* parent)
    : QWidget(parent), factories_(std::move(factories)), model_(new RootViewModel(this)) {
    setObjectName(QStringLiteral("rootView"));
    setMinimumSize(320, 200);
    model_->windowSize = [this] { return QSizeF(size()); };
    model_->openPdfInShownBrowser = [this](const QString& path) {
        // Only a browser panel that is on screen now; a closed one is gone and never called.
        BrowserPanelFrame* panel = cameraArea_->browserPanel();
        if (!panel || !factories_.openPDF) return false;
        factories_.openPDF(panel->browser(), path);
        return true;
    };

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName(QStringLiteral("split"));
    splitter_->setChildrenCollapsible(false);
    sideBySide_ = new SideBySidePane(*model_, splitter_);
    sideBySide_->hide();
    cameraArea_ = new CameraArea(*model_, factories_, std::move(camera.available), std::move(camera.setZoom), splitter_);
    splitter_->addWidget(sideBySide_);
    splitter_->addWidget(cameraArea_);
    splitter_->setStretchFactor(1, 1);
    setLayer(splitter_, Layer::CameraPicture);
    setLayer(sideBySide_, Layer::SideBySide);

    // Overlays over both panes, each in its layer.
    archiveList_ = factories_.archiveList(this);
    setLayer(archiveList_, Layer::ArchiveList);
    placeAtSizeHint(archiveList_);
    if (isWendleEdition()) {
        fileLibrary_ = factories_.fileLibrary(this);
        setLayer(fileLibrary_, Layer::FileLibrary);
        placeAtSizeHint(fileLibrary_);
    }
    controlBar_ = new controlbar::ControlBarView(std::move(camera.controlBar), this);
    setLayer(controlBar_, Layer::ControlBar);
    connect(controlBar_, &controlbar::ControlBarView::resized, this, &RootView::layoutOverlays);
    connect(cameraArea_, &CameraArea::panelsChanged, this, &RootView::coverWhiteboard);

    connect(model_, &RootViewModel::changed, this, &RootView::refresh);
    connect(model_, &RootViewModel::sideBySideOpening, this, &RootView::openSideBySide);
    model_->subscribe();
    refresh();
}

RootView::~RootView() = default;

MessageBanner* RootView::message() const { return message_; }

void RootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    splitter_->setGeometry(rect());
    layoutOverlays();
}

void RootView::openSideBySide() {
    // The pane opens at the chosen width, eased in over half a second.
    const int target = int(model_->splitWidth.value_or(width() * 0.5));
    sideBySide_->show();
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(kOpenAnimationMs);
    animation->setEasingCurve(QEasingCurve::InQuad);
    animation->setStartValue(0);
    animation->setEndValue(target);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const int w = std::max(sideBySide_->minimumWidth(), v.toInt());
        splitter_->setSizes({w, std::max(1, width() - w)});
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void RootView::syncCentredPanel(QPointer<QWidget>& panel, bool shown, const PanelFactories::Make& make, QSize fixed,
                                Layer layer) {
    if (shown && !panel) {
        panel = make(this);
        setLayer(panel, layer);
        if (fixed.isValid())
            panel->setFixedSize(fixed);
        else
            placeAtSizeHint(panel);
        panel->show();
    } else if (!shown && panel) {
        // Each opening builds the panel afresh.
        panel->hide();
        panel->deleteLater();
        panel = nullptr;
    }
}

void RootView::refresh() {
    if (!model_->showSideBySide && sideBySide_->isVisible()) sideBySide_->hide();
    sideBySide_->refresh();
    cameraArea_->refresh();
    syncCentredPanel(tunnelList_, model_->showTunnelList, factories_.tunnelList, QSize(400, 400), Layer::TunnelList);
    syncCentredPanel(gifGenerator_, model_->showGifGenerator, factories_.gifGenerator, QSize(), Layer::GifGenerator);
    syncCentredPanel(kestrixConfig_, model_->showKestrixConfig, factories_.kestrixConfig, QSize(),
                     Layer::KestrixConfig);
    layoutOverlays();
}

void RootView::layoutOverlays() {
    const QRect area = rect();
    archiveList_->move(0, area.center().y() - archiveList_->height() / 2);
    if (fileLibrary_) fileLibrary_->move(area.width() - fileLibrary_->width(), area.center().y() - fileLibrary_->height() / 2);
    controlBar_->adjustSize();
    controlBar_->move((area.width() - controlBar_->width()) / 2,
                      area.height() - controlBar_->height() + controlBar_->slideOffset());
    for (QWidget* panel : {tunnelList_.data(), gifGenerator_.data(), kestrixConfig_.data()}) {
        if (!panel) continue;
        QRect r(QPoint(0, 0), panel->size());
        r.moveCenter(area.center());
        panel->move(r.topLeft());
    }
    if (message_) {
        message_->adjustSize();
        // Below the whiteboard's own toolbar at the top centre.
        message_->move((area.width() - message_->width()) / 2, 72);
    }
    restack(this);
    coverWhiteboard();
}

bool RootView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        // Once the panel has finished its change: a panel that slides its content moves a part
        // first and sets the mask of what stays in view after.
        if (!coverPending_) {
            coverPending_ = true;
            QMetaObject::invokeMethod(this, [this] {
                coverPending_ = false;
                coverWhiteboard();
            }, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void RootView::coverWhiteboard() {
    // The whiteboard page is drawn above every other widget of the window by the web engine, so
    // it is told where the layers above it lie and leaves those places empty.
    QWidget* board = cameraArea_->whiteboard();
    if (!board || !factories_.coverWhiteboard) return;
    QRegion covered;
    auto addLayersAbove = [&](QWidget* parent) {
        for (QObject* child : parent->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (!w || w->isWindow()) continue;
            auto layer = layerOf(w);
            if (!layer || *layer <= Layer::Whiteboard) continue;
            w->installEventFilter(this);
            // The control bar draws only its tab and its row, a camera window only its box and its
            // close button; the rest of their rectangles is clear. Parts move on their own (and a
            // sliding panel's mask follows its part).
            const bool byChildren = w == controlBar_ || qobject_cast<FloatingCameraWindow*>(w);
            for (QObject* part : w->children())
                if (part->isWidgetType()) part->installEventFilter(this);
            covered += coveredBy(w, board, byChildren);
        }
    };
    addLayersAbove(cameraArea_);
    addLayersAbove(this);
    covered &= board->rect();
    if (covered == whiteboardCover_) return;
    whiteboardCover_ = covered;
    factories_.coverWhiteboard(board, covered);
}

void RootView::showMessage(const QString& text) {
    if (!message_) {
        message_ = new MessageBanner(this);
        setLayer(message_, Layer::Message);
    }
    message_->showText(text);
    layoutOverlays();
}

}  // namespace qv::app
