#include <gtest/gtest.h>

#include <QMouseEvent>

#include "annotation/AnnotationView.h"
#include "support/QtWait.h"

using namespace qv::annotation;

namespace {

void mouse(QWidget* w, QEvent::Type type, QPointF at) {
    QMouseEvent event(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// Counts a shape's change announcements.
struct ChangeCount {
    explicit ChangeCount(QVShape* shape) { QObject::connect(shape, &QVShape::objectWillChange, [this] { ++n; }); }
    int count() const { return n; }
    int n = 0;
};

void drag(QWidget* w, std::vector<QPointF> points) {
    mouse(w, QEvent::MouseButtonPress, points.front());
    for (size_t i = 1; i < points.size(); ++i) mouse(w, QEvent::MouseMove, points[i]);
    mouse(w, QEvent::MouseButtonRelease, points.back());
}

}  // namespace

TEST(AnnotationView, EachDragMakesOneStrokeWithTheColourAndWidthOfItsStart) {
    AnnotationView layer;
    layer.resize(400, 300);
    layer.strokeColor = Qt::red;
    layer.strokeThickness = 4;
    drag(&layer, {{10, 10}, {20, 20}, {30, 25}});
    layer.strokeColor = Qt::blue;
    layer.strokeThickness = 1;
    drag(&layer, {{50, 50}, {60, 40}});

    ASSERT_EQ(layer.qvShapes().size(), 2u);
    const auto* first = dynamic_cast<QVShapeFreehand*>(layer.qvShapes()[0].get());
    const auto* second = dynamic_cast<QVShapeFreehand*>(layer.qvShapes()[1].get());
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->id(), second->id());
    EXPECT_EQ(first->color(), QColor(Qt::red));
    EXPECT_EQ(first->thickness(), 4);
    EXPECT_EQ(first->points(), (std::vector<QPointF>{{20, 20}, {30, 25}}));
    EXPECT_EQ(second->color(), QColor(Qt::blue));
    EXPECT_EQ(second->type(), QVShapeType::FreeHand);
    EXPECT_FALSE(layer.drawingQVShape());
}

TEST(AnnotationView, AMovementShorterThanATenthOfAPointMakesNoShape) {
    AnnotationView layer;
    layer.resize(100, 100);
    drag(&layer, {{10, 10}, {10.05, 10}});
    EXPECT_TRUE(layer.qvShapes().empty());
    drag(&layer, {{10, 10}, {10.2, 10}});
    EXPECT_EQ(layer.qvShapes().size(), 1u);
}

TEST(QVShapeRectangle, FollowsTwoPointsFromTheFirst) {
    QVShapeRectangle r;
    ChangeCount changes(&r);
    EXPECT_EQ(r.color(), QColor(Qt::green));
    EXPECT_EQ(r.thickness(), 2.0);
    r.addPoint({10, 40});
    r.addPoint({30, 20});
    EXPECT_EQ(r.startPoint, QPointF(10, 40));
    EXPECT_EQ(r.endPoint, QPointF(30, 20));
    EXPECT_EQ(r.width, 20);
    EXPECT_EQ(r.height, 20);
    EXPECT_EQ(QPointF(r.x, r.y), QPointF(20, 30));
    r.addPoint({0, 0});
    EXPECT_EQ(r.startPoint, QPointF(10, 40));
    EXPECT_EQ(r.width, 10);
    EXPECT_EQ(r.height, 40);
    EXPECT_EQ(QPointF(r.x, r.y), QPointF(5, 20));
    EXPECT_EQ(changes.count(), 3);
}

TEST(QVShapeRectangleView, TapPrintsAndTurnsGreen) {
    QWidget host;
    auto rectangle = std::make_shared<QVShapeRectangle>();
    rectangle->setColor(Qt::red);
    rectangle->addPoint({10, 10});
    rectangle->addPoint({60, 40});
    QVShapeView view(rectangle, &host);
    ChangeCount changes(rectangle.get());
    testing::internal::CaptureStdout();
    view.rectangleView()->tapped();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Clicked in Rectangle\n");
    EXPECT_EQ(rectangle->color(), QColor(Qt::green));
    EXPECT_EQ(changes.count(), 2);  // the tap's own announcement, then the colour's
}

TEST(QVShapeView, AFreehandStrokeShowsAsAnEmptyRectangle) {
    QWidget host;
    auto stroke = std::make_shared<QVShapeFreehand>();
    stroke->addPoint({100, 100});
    QVShapeView view(stroke, &host);
    const QVShapeRectangle& shown = view.rectangleView()->qvShape();
    EXPECT_EQ(shown.width, 0);
    EXPECT_EQ(QPointF(shown.x, shown.y), QPointF(0, 0));
    auto rectangle = std::make_shared<QVShapeRectangle>();
    QVShapeView rectView(rectangle, &host);
    EXPECT_EQ(&rectView.rectangleView()->qvShape(), rectangle.get());
}
