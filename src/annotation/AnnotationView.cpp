#include "annotation/AnnotationView.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

#include "util/Print.h"

namespace qv::annotation {

namespace {
constexpr double dragMinimumDistance = 0.1;

QPen strokePen(const QColor& color, double width) {
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    return pen;
}
}  // namespace

// ---- rectangle view ----

QVShapeRectangleView::QVShapeRectangleView(std::shared_ptr<QVShapeRectangle> shape, QWidget* parent)
    : QWidget(parent), qvShape_(std::move(shape)) {
    setAttribute(Qt::WA_TranslucentBackground);
    // The shape announces a change before making it: follow once it is made.
    connect(qvShape_.get(), &QVShape::objectWillChange, this, &QVShapeRectangleView::follow, Qt::QueuedConnection);
    follow();
}

void QVShapeRectangleView::follow() {
    const QVShapeRectangle& r = *qvShape_;
    const double margin = std::ceil(r.thickness() / 2 + 1);
    setGeometry(QRectF(r.x - r.width / 2 - margin, r.y - r.height / 2 - margin, r.width + 2 * margin,
                       r.height + 2 * margin)
                    .toAlignedRect());
    update();
}

void QVShapeRectangleView::paintEvent(QPaintEvent*) {
    const QVShapeRectangle& r = *qvShape_;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(strokePen(r.color(), r.thickness()));
    const QPointF topLeft = QPointF(r.x - r.width / 2, r.y - r.height / 2) - QPointF(pos());
    painter.drawRect(QRectF(topLeft, QSizeF(r.width, r.height)));
}

void QVShapeRectangleView::tapped() {
    util::printLine(std::string("Clicked in Rectangle"));
    qvShape_->sendObjectWillChange();
    qvShape_->setColor(Qt::green);
}

void QVShapeRectangleView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) tapped();
}

// ---- shape view ----

QVShapeView::QVShapeView(std::shared_ptr<QVShape> shape, QWidget* parent) : QWidget(parent), qvShape_(std::move(shape)) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto rectangle = std::dynamic_pointer_cast<QVShapeRectangle>(qvShape_);
    if (!rectangle) rectangle = std::make_shared<QVShapeRectangle>();
    rectangleView_ = new QVShapeRectangleView(std::move(rectangle), this);
}

// ---- layer ----

AnnotationView::AnnotationView(QWidget* parent) : QWidget(parent) {}

void AnnotationView::dragChanged(const QPointF& location) {
    if (!drawingQVShape_) {
        auto shape = std::make_shared<QVShapeFreehand>();
        drawingQVShape_ = shape;
        shape->setColor(strokeColor);
        shape->setThickness(strokeThickness);
        qvShapes_.push_back(shape);
        auto* view = new QVShapeView(shape, this);
        view->setGeometry(rect());
        view->show();
        shapeViews_.push_back(view);
    }
    drawingQVShape_->addPoint(location);
}

void AnnotationView::dragEnded() { drawingQVShape_.reset(); }

void AnnotationView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 255, 255, int(0.1 * 255)));
}

void AnnotationView::resizeEvent(QResizeEvent*) {
    for (const auto& view : shapeViews_)
        if (view) view->setGeometry(rect());
}

void AnnotationView::mousePressEvent(QMouseEvent* event) {
    pressAt_ = event->position();
    dragging_ = false;
}

void AnnotationView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressAt_) return;
    const QPointF d = event->position() - *pressAt_;
    if (!dragging_ && std::hypot(d.x(), d.y()) < dragMinimumDistance) return;
    dragging_ = true;
    dragChanged(event->position());
}

void AnnotationView::mouseReleaseEvent(QMouseEvent*) {
    if (dragging_) dragEnded();
    pressAt_.reset();
    dragging_ = false;
}

}  // namespace qv::annotation
