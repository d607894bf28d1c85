#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMessageBox>
#include <QTimer>
#include <QSlider>
#include <QTest>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/NamedImages.h"
#include "controlbar/Popover.h"
#include "controlbar/QVImageButton.h"
#include "controlbar/FakeCamera.h"
#include "support/QtWait.h"

using namespace qv::controlbar;
namespace nt = qv::app::notification;

namespace {

void hover(QWidget* w, bool inside) {
    if (inside) {
        QEnterEvent e(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
        QCoreApplication::sendEvent(w, &e);
    } else {
        QEvent e(QEvent::Leave);
        QCoreApplication::sendEvent(w, &e);
    }
}

}  // namespace

TEST(NamedImages, EveryNameTheBarUsesIsCompiledIn) {
    for (const char* name :
         {"toolbar_arrow_down", "toolbar_folder", "toolbar_openfile", "toolbar_freehand", "toolbar_freehand_on",
          "toolbar_viewer", "toolbar_zoom", "toolbar_zoom_in", "toolbar_zoom_out", "toolbar_freeze", "toolbar_resume",
          "toolbar_record", "toolbar_stop_recording", "toolbar_snapshot", "toolbar_view", "toolbar_browser",
          "toolbar_viewer_tunnel", "toolbar_viewer_doccam", "toolbar_lessons", "toolbar_record_camera",
          "toolbar_record_screen", "toolbar_rotate_left", "toolbar_rotate_right", "toolbar_camera_mirror",
          "toolbar_pip", "toolbar_full_screen", "close", "share"}) {
        EXPECT_TRUE(hasNamedImage(name)) << name;
        const QImage drawn = namedImage(name, QSize(32, 32)).toImage();
        ASSERT_FALSE(drawn.isNull()) << name;
        bool anyInk = false;
        for (int y = 0; y < 32 && !anyInk; ++y)
            for (int x = 0; x < 32 && !anyInk; ++x) anyInk = qAlpha(drawn.pixel(x, y)) > 0;
        EXPECT_TRUE(anyInk) << name << " draws nothing";
    }
    EXPECT_FALSE(hasNamedImage("toolbar_nonexistent"));
}

TEST(QVImageButton, ClicksAnywhereInTheCellAndHoverColours) {
    int clicks = 0;
    QVImageButton plain("toolbar_snapshot", "Snapshot", "a tooltip", std::nullopt, [&] { ++clicks; });
    plain.show();
    EXPECT_GE(plain.width(), 64);
    EXPECT_GE(plain.height(), 64);
    EXPECT_TRUE(plain.toolTip().isEmpty()) << "the tooltip is kept, never shown";
    EXPECT_EQ(plain.tooltip(), "a tooltip");
    for (QPoint at : {QPoint(1, 1), QPoint(plain.width() / 2, plain.height() / 2), QPoint(plain.width() - 2, 2)})
        QTest::mouseClick(&plain, Qt::LeftButton, {}, at);
    EXPECT_EQ(clicks, 3);
    QTest::mouseClick(&plain, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 3);

    EXPECT_FALSE(plain.labelColor().isValid()) << "no colour: the default text colour";
    hover(&plain, true);
    EXPECT_TRUE(plain.hovered());
    EXPECT_EQ(plain.labelColor(), hoverColor);
    hover(&plain, false);
    EXPECT_FALSE(plain.labelColor().isValid());

    QVImageButton red("toolbar_resume", "Resume", "", redColor, {});
    red.show();
    EXPECT_EQ(red.labelColor(), redColor);
    hover(&red, true);
    EXPECT_EQ(red.labelColor(), hoverColor);
    hover(&red, false);
    EXPECT_EQ(red.labelColor(), redColor);
    QTest::mouseClick(&red, Qt::LeftButton);  // no action: nothing happens
}

TEST(QVImageButton, TintedIconIsOneColourAndLongLabelsWiden) {
    const QImage tinted = tintedImage("toolbar_record", QSize(32, 32), redColor).toImage();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (qAlpha(tinted.pixel(x, y)) == 255) {
                ASSERT_EQ(QColor(tinted.pixel(x, y)).rgb(), redColor.rgb());
            }
    QVImageButton wide("toolbar_view", "A very long label for one button", "", std::nullopt, {});
    wide.show();
    EXPECT_GT(wide.width(), 64);
    EXPECT_LE(wide.iconSize().width(), 32);
    EXPECT_LE(wide.iconSize().height(), 32);
}

namespace {
struct BarFixture : testing::Test {
    qv::test::FakeCamera camera;
    ControlBarView view{[this]() -> CameraPort* { return &camera; }};
    void SetUp() override {
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    std::vector<QString> mainButtons() {
        std::vector<QString> out;
        auto* row = view.bar()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).value(0);
        for (auto* w : row->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!w->isHidden()) out.push_back(w->objectName());
        return out;
    }
};
}  // namespace

TEST_F(BarFixture, MainButtonsInOrderAndStateChanges) {
    EXPECT_EQ(mainButtons(), (std::vector<QString>{"toolbar_folder", "toolbar_freehand", "toolbar_zoom",
                                                   "toolbar_freeze", "toolbar_record", "toolbar_snapshot",
                                                   "toolbar_view"}));
    QTest::mouseClick(view.button("toolbar_freeze"), Qt::LeftButton);
    ASSERT_TRUE(view.button("toolbar_resume"));
    EXPECT_EQ(view.button("toolbar_resume")->color(), redColor);
    EXPECT_EQ(camera.pauseToggles, 1);
    QTest::mouseClick(view.button("toolbar_snapshot"), Qt::LeftButton);
    EXPECT_EQ(camera.photos, 1);

    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::green);
    qv::app::post(nt::ImageCaptured, {{"image", picture}, {"url", QUrl::fromLocalFile("/tmp/shot.png")}});
    EXPECT_EQ(mainButtons().front(), "lastCapture");
    ASSERT_TRUE(view.thumbnail());
    EXPECT_EQ(view.thumbnail()->size(), QSize(56, 56));
    QVariantMap opened;
    QObject owner;
    qv::app::NotificationCenter::defaultCenter().addObserver(&owner, nt::OpenSideBySide,
                                                             [&](const qv::app::Notification& n) { opened = n.userInfo; });
    QTest::mouseClick(view.thumbnail(), Qt::LeftButton);
    EXPECT_EQ(opened.value("url").toUrl(), QUrl::fromLocalFile("/tmp/shot.png"));
}

TEST_F(BarFixture, TheHighlightFollowsThePointerWhenTheBarIsRebuilt) {
    // The pointer rests on Snapshot; the capture puts a thumbnail first, so every button moves.
    QVImageButton* snapshot = view.button("toolbar_snapshot");
    QCursor::setPos(snapshot->mapToGlobal(snapshot->rect().center()));
    ASSERT_TRUE(qv::test::waitUntil([&] { return view.button("toolbar_snapshot")->hovered(); }, 3000));
    QTest::mouseClick(snapshot, Qt::LeftButton);
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::green);
    qv::app::post(nt::ImageCaptured, {{"image", picture}, {"url", QUrl::fromLocalFile("/tmp/shot.png")}});
    ASSERT_TRUE(view.thumbnail());
    auto underPointer = [](QVImageButton* b) { return b->isVisible() && b->rect().contains(b->mapFromGlobal(QCursor::pos())); };
    // Only the button under the pointer is highlighted, once the bar is laid out again.
    EXPECT_TRUE(qv::test::waitUntil([&] {
        for (auto* b : view.findChildren<QVImageButton*>())
            if (b->hovered() != underPointer(b)) return false;
        return true;
    }, 3000));
    for (auto* b : view.findChildren<QVImageButton*>())
        EXPECT_EQ(b->hovered(), underPointer(b)) << b->objectName().toStdString();
}

TEST_F(BarFixture, CollapseTabHidesTheBarAndKeepsPopoverFlags) {
    // Flags of popovers that open no window of their own here, set and unset: collapsing and
    // restoring leaves every one as it was.
    auto& m = view.model();
    m.showPopoverZoom = false;
    m.showPopoverFocus = true;
    m.showPopoverAdjust = false;
    m.showPopoverSettings = true;
    auto flags = [&] {
        return std::vector<bool>{m.showPopoverZoom,     m.showPopoverViewOption, m.showPopoverFocus, m.showPopoverAdjust,
                                 m.showPopoverSettings, m.showPopoverRecord,     m.showPopoverViewer};
    };
    const std::vector<bool> before = flags();
    QTest::mouseClick(view.collapseTab(), Qt::LeftButton);
    EXPECT_TRUE(view.model().hideControlBar);
    EXPECT_FALSE(view.bar()->isHidden()) << "it slides out first";
    ASSERT_TRUE(qv::test::waitUntil([&] { return view.bar()->isHidden(); }, 3000));
    EXPECT_LT(view.height(), 30);
    EXPECT_EQ(view.slideOffset(), 0);
    QTest::mouseClick(view.collapseTab(), Qt::LeftButton);
    EXPECT_FALSE(view.bar()->isHidden());
    EXPECT_GT(view.slideOffset(), 0) << "and slides in from below";
    ASSERT_TRUE(qv::test::waitUntil([&] { return view.slideOffset() == 0; }, 3000));
    EXPECT_EQ(flags(), before) << "a popover flag changed";
}

TEST_F(BarFixture, PopoversOpenAtTheirButtonAndCloseOnAnOutsideClick) {
    QTest::mouseClick(view.button("toolbar_view"), Qt::LeftButton);
    Popover* popover = view.popover("ViewOption");
    ASSERT_TRUE(qv::test::waitUntil([&] { return popover->isVisible(); }, 2000));
    EXPECT_TRUE(view.button("toolbar_rotate_left"));
    EXPECT_TRUE(view.button("toolbar_pip"));
    // Mirror leaves it open; PIP closes it.
    QTest::mouseClick(view.button("toolbar_camera_mirror"), Qt::LeftButton);
    EXPECT_TRUE(popover->isVisible());
    QTest::mouseClick(view.button("toolbar_pip"), Qt::LeftButton);
    EXPECT_TRUE(qv::test::waitUntil([&] { return !popover->isVisible(); }, 2000));
    EXPECT_FALSE(view.model().showPopoverViewOption);

    QTest::mouseClick(view.button("toolbar_zoom"), Qt::LeftButton);
    Popover* zoom = view.popover("Zoom");
    ASSERT_TRUE(qv::test::waitUntil([&] { return zoom->isVisible(); }, 2000));
    view.zoomSlider()->setValue(250);
    EXPECT_EQ(camera.zooms.back(), 2.5);
    zoom->hide();  // what a click outside the popup does
    EXPECT_FALSE(view.model().showPopoverZoom);
}

TEST_F(BarFixture, FilesWithoutASaveFolderShowsTheAlert) {
    qv::app::setFolderLocations(nullptr);
    QString shown;
    QTimer::singleShot(200, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    QTest::mouseClick(view.button("toolbar_folder"), Qt::LeftButton);
    EXPECT_EQ(shown,
              "No Permissions granted to save files on your computer, please restart app and choose a folder to save "
              "files!");
}
