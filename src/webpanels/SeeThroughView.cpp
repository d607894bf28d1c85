#include "webpanels/SeeThroughView.h"

#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QSGRenderNode>
#include <QSGRendererInterface>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace qv::webpanels {

namespace {

constexpr const char* watchedProperty = "qvSeeThrough";

// Empties (to transparent) the part of the picture widget's own picture that is about to be drawn
// again; it lies below the page, so the page's new frame is laid onto nothing rather than onto
// what the widget drew before. (With a GPU scene graph there is no painter, and each frame starts
// empty anyway.)
class ClearNode : public QSGRenderNode {
public:
    explicit ClearNode(QQuickWindow* window) : window_(window) {}
    void render(const RenderState* state) override {
        if (!window_) return;
        auto* painter = static_cast<QPainter*>(
            window_->rendererInterface()->getResource(window_, QSGRendererInterface::PainterResource));
        const QRegion* dirty = state ? state->clipRegion() : nullptr;
        if (!painter || !painter->isActive() || !dirty || dirty->isEmpty()) return;
        painter->save();
        painter->resetTransform();
        painter->setClipRegion(*dirty, Qt::ReplaceClip);
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        painter->fillRect(dirty->boundingRect(), Qt::transparent);
        painter->restore();
    }
    StateFlags changedStates() const override { return {}; }
    RenderingFlags flags() const override { return BoundedRectRendering; }
    QRectF rect() const override { return rect_; }
    void setRect(const QRectF& rect) { rect_ = rect; }

private:
    QPointer<QQuickWindow> window_;
    QRectF rect_;
};

// The layer: as large as the picture widget, below the page's item at the scene's root (whose own
// size stays zero).
class ClearBelow : public QQuickItem {
public:
    ClearBelow(QQuickItem* root, QWidget* picture) : QQuickItem(root), picture_(picture) {
        setFlag(ItemHasContents);
        setZ(-1);
        follow();
    }
    void follow() {
        if (!picture_) return;
        setSize(picture_->size());
        update();
    }

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData*) override {
        auto* node = static_cast<ClearNode*>(old);
        if (!node) node = new ClearNode(window());
        node->setRect(boundingRect());
        node->markDirty(QSGNode::DirtyGeometry);
        return node;
    }

private:
    QPointer<QWidget> picture_;
};

// A picture widget that is told to paint over what lies below whenever it would repaint: the
// engine sets it opaque again when a page's background changes.
class SeeThroughPicture : public QObject {
public:
    explicit SeeThroughPicture(QWidget* picture) : QObject(picture), picture_(picture) {
        picture->installEventFilter(this);
        seeThrough(picture);
        clearBelow();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Paint || event->type() == QEvent::Show) {
            seeThrough(static_cast<QWidget*>(watched));
            clearBelow();
        }
        if (event->type() == QEvent::Resize && layer_) layer_->follow();
        return false;
    }

private:
    // Once the widget's scene is there.
    void clearBelow() {
        if (layer_ || !picture_) return;
        auto* quick = qobject_cast<QQuickWidget*>(picture_);
        if (QQuickItem* root = quick ? quick->rootObject() : nullptr) layer_ = new ClearBelow(root, picture_);
    }
    QPointer<QWidget> picture_;
    QPointer<ClearBelow> layer_;

    static void seeThrough(QWidget* picture) {
        if (!picture->testAttribute(Qt::WA_OpaquePaintEvent)) return;
        picture->setAttribute(Qt::WA_OpaquePaintEvent, false);
        picture->update();  // this time with what lies below
    }
};

// Each renderer the view gets brings its own picture widget, a child of the view.
class PictureWatcher : public QObject {
public:
    explicit PictureWatcher(QWebEngineView* view) : QObject(view), view_(view) {
        view->installEventFilter(this);
        coverAll();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_ && (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished))
            coverAll();
        return false;
    }

private:
    void coverAll() {
        if (!view_) return;
        for (QWidget* picture : view_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (picture->property(watchedProperty).toBool()) continue;
            picture->setProperty(watchedProperty, true);
            new SeeThroughPicture(picture);
        }
    }
    QPointer<QWebEngineView> view_;
};

}  // namespace

void keepSeeThrough(QWebEngineView* view) {
    if (!view || view->property(watchedProperty).toBool()) return;
    view->setProperty(watchedProperty, true);
    new PictureWatcher(view);
}

void redrawWholePage(QWebEngineView* view) {
    // A new background colour has the engine paint the whole page again, and the frame it sends
    // then covers all of it. The colour in between is black at 1/255 alpha, which no one sees; the
    // page's place and size never change.
    if (!view || !view->page()) return;
    view->page()->setBackgroundColor(QColor(0, 0, 0, 1));
    view->page()->setBackgroundColor(Qt::transparent);
}

}  // namespace qv::webpanels
