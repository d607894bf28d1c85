#include "annotation/QVShape.h"

#include <algorithm>
#include <cmath>

namespace qv::annotation {

void QVShape::setColor(const QColor& color) {
    emit objectWillChange();
    color_ = color;
}

void QVShape::setThickness(double thickness) {
    emit objectWillChange();
    thickness_ = thickness;
}

void QVShape::addPoint(const QPointF&) {}

void QVShapeFreehand::addPoint(const QPointF& point) {
    points_.push_back(point);
    emit objectWillChange();
}

void QVShapeRectangle::addPoint(const QPointF& point) {
    if (!bInit) {
        startPoint = point;
        bInit = true;
    }
    endPoint = point;
    width = std::abs(startPoint.x() - endPoint.x());
    height = std::abs(startPoint.y() - endPoint.y());
    x = std::min(endPoint.x(), startPoint.x()) + width * 0.5;
    y = std::min(endPoint.y(), startPoint.y()) + height * 0.5;
    emit objectWillChange();
}

}  // namespace qv::annotation
