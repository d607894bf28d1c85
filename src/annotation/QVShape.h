#pragma once
// The shapes of the drawing layer: a freehand stroke and a rectangle that follows two points.
// A shape announces every change before it happens (objectWillChange), so views can redraw.
#include <QColor>
#include <QObject>
#include <QPointF>
#include <QUuid>

#include <functional>
#include <vector>

namespace qv::annotation {

enum class QVShapeType { FreeHand, Rectangle, unknown };

class QVShape : public QObject {
    Q_OBJECT
public:
    ~QVShape() override = default;

    QUuid id() const { return id_; }
    QColor color() const { return color_; }
    double thickness() const { return thickness_; }
    QVShapeType type() const { return type_; }
    void setColor(const QColor& color);
    void setThickness(double thickness);

    // Extends the shape; the base shape ignores points.
    virtual void addPoint(const QPointF& point);

    void sendObjectWillChange() { emit objectWillChange(); }

signals:
    void objectWillChange();

protected:
    explicit QVShape(QVShapeType type) : type_(type) {}

private:
    QUuid id_ = QUuid::createUuid();
    QColor color_ = Qt::green;
    double thickness_ = 2.0;
    QVShapeType type_;
};

class QVShapeFreehand : public QVShape {
    Q_OBJECT
public:
    QVShapeFreehand() : QVShape(QVShapeType::FreeHand) {}
    void addPoint(const QPointF& point) override;
    const std::vector<QPointF>& points() const { return points_; }

private:
    std::vector<QPointF> points_;
};

class QVShapeRectangle : public QVShape {
    Q_OBJECT
public:
    QVShapeRectangle() : QVShape(QVShapeType::Rectangle) {}
    // The first point is the fixed corner; every point moves the other corner.
    void addPoint(const QPointF& point) override;

    QPointF startPoint;
    QPointF endPoint;
    bool bInit = false;
    double x = 0;  // centre
    double y = 0;
    double width = 0;
    double height = 0;
    std::function<void(QVShapeRectangle&)> callback;  // kept, never called
};

// A stroke's points.
struct Drawing {
    std::vector<QPointF> points;
};

}  // namespace qv::annotation
