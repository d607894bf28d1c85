#include <gtest/gtest.h>

#include "capture/core/PreviewGeometry.h"

using qv::capture::PreviewGeometry;

namespace {
PreviewGeometry fittedAndZoomed() {
    PreviewGeometry g;
    g.createLayer();
    g.fit(QRectF(0, 0, 1440, 900));
    g.setZoom(2.0);
    return g;
}
}  // namespace

TEST(PreviewGeometry, FitFillsTheViewAndSetsBothFactors) {
    PreviewGeometry g;
    g.createLayer();
    EXPECT_TRUE(g.fit(QRectF(0, 0, 1440, 900)));
    EXPECT_EQ(g.layerFrame(), QRectF(0, 0, 1440, 900));
    EXPECT_DOUBLE_EQ(g.currentZoomFactor(), 1.125);
    EXPECT_DOUBLE_EQ(g.fitZoomFactor(), 1.125);
}

TEST(PreviewGeometry, WithoutLayerFitOnlyCopiesTheZoomFactor) {
    PreviewGeometry g;
    g.setCurrentZoomFactor(1.7);
    EXPECT_FALSE(g.fit(QRectF(0, 0, 1440, 900)));
    EXPECT_DOUBLE_EQ(g.fitZoomFactor(), 1.7);
    EXPECT_FALSE(g.setZoom(2));
    g.setCurrentZoomFactor(3);
    EXPECT_FALSE(g.pan(false, 10, 10, 0));
}

TEST(PreviewGeometry, ZoomResizesAboutTheCentre) {
    const PreviewGeometry g = fittedAndZoomed();
    EXPECT_EQ(g.layerFrame(), QRectF(-560, -270, 2560, 1440));
    EXPECT_DOUBLE_EQ(g.currentZoomFactor(), 2.0);
}

TEST(PreviewGeometry, PanTableByRotation) {
    struct Case {
        double rotation;
        QPointF origin;
    } cases[] = {
        {0, {-460, -320}}, {90, {-510, -170}}, {-90, {-610, -370}}, {270, {-610, -370}},
        {180, {-660, -220}}, {450, {-510, -170}}, {-450, {-610, -370}}, {45, {-460, -320}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        PreviewGeometry g = fittedAndZoomed();
        EXPECT_TRUE(g.pan(false, 100, 50, c.rotation));
        EXPECT_EQ(g.layerFrame().topLeft(), c.origin);
        EXPECT_EQ(g.layerFrame().size(), QSizeF(2560, 1440));
    }
}

TEST(PreviewGeometry, PanIsMeasuredFromTheStartOfTheDrag) {
    PreviewGeometry g = fittedAndZoomed();
    g.pan(false, 10, 0, 0);
    g.pan(false, 30, 0, 0);
    EXPECT_EQ(g.layerFrame().topLeft(), QPointF(-530, -270));
    g.pan(true, 0, 0, 0);
    EXPECT_FALSE(g.draggingStartRect());
    g.pan(false, 30, 0, 0);
    EXPECT_EQ(g.layerFrame().topLeft(), QPointF(-500, -270));
}

TEST(PreviewGeometry, PanNeedsZoomAtLeastATenthBeyondFit) {
    PreviewGeometry g;
    g.createLayer();
    g.fit(QRectF(0, 0, 1280, 720));
    g.setZoom(1.09);
    const QRectF before = g.layerFrame();
    EXPECT_FALSE(g.pan(false, 100, 50, 0));
    EXPECT_EQ(g.layerFrame(), before);
    g.setZoom(1.5);
    EXPECT_TRUE(g.pan(false, 100, 50, 0));
}

TEST(PreviewGeometry, FitAfterZoomAndPanReturnsToTheView) {
    PreviewGeometry g = fittedAndZoomed();
    g.pan(false, 100, 50, 0);
    EXPECT_TRUE(g.fit(QRectF(0, 0, 1440, 900)));
    EXPECT_EQ(g.layerFrame(), QRectF(0, 0, 1440, 900));
    EXPECT_EQ(PreviewGeometry::reducedDegrees(-450), 270);
    EXPECT_EQ(PreviewGeometry::reducedDegrees(450), 90);
    EXPECT_EQ(PreviewGeometry::reducedDegrees(-90.9), 270);
}
