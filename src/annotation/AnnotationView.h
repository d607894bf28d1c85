#pragma once
// A transparent drawing layer: each drag records one freehand stroke as a shape; each shape is
// shown through a QVShapeView. Rectangles are drawn as stroked frames; a freehand stroke has no
// drawing of its own and shows as an empty rectangle.
#include <QColor>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "annotation/QVShape.h"

namespace qv::annotation {

class QVShapeRectangleView : public QWidget {
    Q_OBJECT
public:
    QVShapeRectangleView(std::shared_ptr<QVShapeRectangle> shape, QWidget* parent);
    QVShapeRectangle& qvShape() const { return *qvShape_; }
    // A single tap on the rectangle.
    void tapped();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void follow();
    std::shared_ptr<QVShapeRectangle> qvShape_;
};

class QVShapeView : public QWidget {
    Q_OBJECT
public:
    QVShapeView(std::shared_ptr<QVShape> shape, QWidget* parent);
    const std::shared_ptr<QVShape>& qvShape() const { return qvShape_; }
    QVShapeRectangleView* rectangleView() const { return rectangleView_; }

private:
    std::shared_ptr<QVShape> qvShape_;
    QVShapeRectangleView* rectangleView_;
};

class AnnotationView : public QWidget {
    Q_OBJECT
public:
    explicit AnnotationView(QWidget* parent = nullptr);

    const std::vector<std::shared_ptr<QVShape>>& qvShapes() const { return qvShapes_; }
    QColor strokeColor = Qt::black;
    double strokeThickness = 2.0;
    Drawing curDrawing;
    const std::shared_ptr<QVShape>& drawingQVShape() const { return drawingQVShape_; }

    // The drag's handlers: every change with the current location, and its end.
    void dragChanged(const QPointF& location);
    void dragEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::vector<std::shared_ptr<QVShape>> qvShapes_;
    std::shared_ptr<QVShape> drawingQVShape_;
    std::vector<QPointer<QVShapeView>> shapeViews_;
    std::optional<QPointF> pressAt_;
    bool dragging_ = false;
};

}  // namespace qv::annotation
