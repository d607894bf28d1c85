#include <gtest/gtest.h>

#include "app/rootview/PanelRules.h"

using namespace qv::app;

TEST(CameraPinch, FactorFromThePinchStartWithinLimits) {
    struct Case {
        double startZoom;
        std::vector<double> magnifications;
        std::vector<double> asked;
    } cases[] = {
        {4.0, {3.0}, {10.0}},
        {2.0, {0.1}, {0.5}},
        {1.0, {-2.0}, {2.0}},              // a negative magnification counts by its magnitude
        {2.0, {1.5, 2.0, 0.5}, {3.0, 4.0, 1.0}},  // the start is read once per pinch
        {0.5, {0.5}, {0.5}},
    };
    for (const auto& c : cases) {
        CameraPinch pinch;
        std::vector<double> asked;
        double current = c.startZoom;
        for (double m : c.magnifications) {
            auto z = pinch.changed(m, current, true);
            ASSERT_TRUE(z);
            asked.push_back(*z);
            current = 7.0;  // zoom changed by someone else during the pinch: overwritten
        }
        EXPECT_EQ(asked, c.asked) << c.startZoom;
        pinch.ended();
        EXPECT_FALSE(pinch.pinchGestureStart());
    }
    CameraPinch none;
    EXPECT_FALSE(none.changed(2.0, 3.0, false));
    EXPECT_EQ(none.pinchGestureStart(), 3.0) << "without a camera only the start is kept";
    EXPECT_NEAR(CameraPinch::wheelMagnification(120), 1.1, 1e-12);
    EXPECT_NEAR(CameraPinch::wheelMagnification(-120), 1 / 1.1, 1e-12);
}

TEST(DragGate, BeginsAfterTenAndReportsTheWholeTranslation) {
    struct Case {
        std::vector<QPointF> moves;
        std::vector<bool> reported;
        bool endsAsDrag;
    } cases[] = {
        {{{5, 0}, {9.9, 0}}, {false, false}, false},
        {{{6, 8}}, {true}, true},  // exactly 10 away
        {{{12, 0}, {3, 0}}, {true, true}, true},  // once begun, coming back still counts
    };
    for (const auto& c : cases) {
        DragGate gate;
        gate.press({100, 100});
        for (std::size_t i = 0; i < c.moves.size(); ++i) {
            auto t = gate.move(QPointF(100, 100) + c.moves[i]);
            EXPECT_EQ(bool(t), c.reported[i]) << i;
            if (t) {
                EXPECT_EQ(*t, c.moves[i]);
            }
        }
        EXPECT_EQ(bool(gate.release(QPointF(100, 100) + c.moves.back())), c.endsAsDrag);
        EXPECT_FALSE(gate.active());
    }
}

TEST(PinchGate, BeginsAfterOneHundredthOfScale) {
    PinchGate gate;
    EXPECT_FALSE(gate.change(1.005));
    EXPECT_FALSE(gate.change(0.995));
    EXPECT_TRUE(gate.change(1.02));
    EXPECT_TRUE(gate.change(1.0));  // begun: every change counts
    EXPECT_TRUE(gate.end());
    EXPECT_FALSE(gate.end());
}

TEST(SideBySidePicture, DoubleTapPinchAndDrags) {
    struct Case {
        double scale;
        double after;
    } taps[] = {{1.0, 2.0}, {2.0, 1.0}, {1.0001, 1.0}, {0.5, 1.0}};
    for (const auto& c : taps) {
        SideBySidePicture p;
        p.scale = c.scale;
        p.viewState = {30, 40};
        p.doubleTap();
        EXPECT_EQ(p.scale, c.after) << c.scale;
        EXPECT_EQ(p.lastScale, c.after);
        EXPECT_EQ(p.viewState, QPointF());
        p.pinchChanged(1.5);  // the next pinch continues from the new scale
        EXPECT_DOUBLE_EQ(p.scale, 1.5 * c.after);
    }
    SideBySidePicture p;
    p.pinchChanged(-3.0);
    p.pinchEnded();
    EXPECT_EQ(p.lastScale, 3.0);
    p.pinchChanged(2.0);
    EXPECT_EQ(p.scale, 6.0) << "no limit";
    p.dragChanged({50, 20});
    p.dragChanged({-5, 7});  // a second drag: its own translation only
    EXPECT_EQ(p.viewState, QPointF(-5, 7));
    p.reset();
    EXPECT_EQ(p.scale, 1.0);
    EXPECT_EQ(p.viewState, QPointF());
}

TEST(BrowserPanelGeometry, MovesResizesAndLimits) {
    const QSizeF window(1600, 1000);
    {
        // Within 32 of both the right and bottom edges the drag resizes.
        BrowserPanelGeometry g;
        g.dragChanged({590, 490}, {900, 50});
        EXPECT_TRUE(g.isResizing);
        EXPECT_EQ(g.frame, QSizeF(1500, 550)) << "during the drag a resize may pass the limit";
        EXPECT_EQ(g.dragged, QPointF(100, 100));
        g.dragEnded({1200, 50}, window);
        EXPECT_EQ(g.frame, QSizeF(1500, 550)) << "ends at W - 100";
        EXPECT_EQ(g.frameAccumulated, g.frame);
        EXPECT_FALSE(g.isResizing);
        g.dragChanged({1490, 540}, {0, 900});
        g.dragEnded({0, 900}, window);
        EXPECT_EQ(g.frame.height(), 900) << "ends at H - 100";
    }
    {
        BrowserPanelGeometry g;
        g.dragChanged({300, 200}, {-150, 20});
        EXPECT_FALSE(g.isResizing);
        EXPECT_EQ(g.dragged, QPointF(-50, 120));
        g.dragEnded({-150, 20}, window);
        EXPECT_EQ(g.dragged, QPointF(0, 120)) << "snaps to the left edge, keeps its height";
        EXPECT_EQ(g.accumulated, g.dragged);
        g.dragChanged({10, 10}, {3000, -500});
        g.dragEnded({3000, -500}, window);
        EXPECT_EQ(g.dragged, QPointF(3000, 0)) << "beyond the right edge stays; above the top snaps";
    }
    {
        // Only the right edge near, not the bottom: a move.
        BrowserPanelGeometry g;
        g.dragChanged({595, 100}, {10, 10});
        EXPECT_FALSE(g.isResizing);
        // A resize never leaves the panel too small to use.
        g.dragChanged({595, 495}, {-2000, -2000});
        EXPECT_EQ(g.frame, QSizeF(BrowserPanelGeometry::minimumWidth, BrowserPanelGeometry::minimumHeight));
        g.dragEnded({-2000, -2000}, window);
        EXPECT_EQ(g.frame, QSizeF(BrowserPanelGeometry::minimumWidth, BrowserPanelGeometry::minimumHeight));
    }
    BrowserPanelGeometry g;
    g.dragged = g.accumulated = {700, 10};
    g.layoutAfterOpening({1500, 900});
    EXPECT_EQ(g.frame, QSizeF(1000, 700));
    EXPECT_EQ(g.frameAccumulated, g.frame);
    EXPECT_EQ(g.dragged, QPointF(100, 100));
    EXPECT_EQ(g.accumulated, QPointF(100, 100));
}

TEST(FloatingCameraOffset, BothWindowsShareOneDisplacement) {
    FloatingCameraOffset o;
    o.dragChanged({30, 40});
    EXPECT_EQ(o.pipOffset, QPointF(30, 40));
    EXPECT_EQ(o.pipOffsetNew, QPointF());
    o.dragEnded({30, 50});
    o.dragChanged({-10, 0});
    EXPECT_EQ(o.pipOffset, QPointF(20, 50));
    o.dragEnded({-10, 0});
    EXPECT_EQ(o.pipOffsetNew, QPointF(20, 50));
}
