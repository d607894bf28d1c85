#include <gtest/gtest.h>

#include <QTest>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/Popover.h"
#include "controlbar/QVImageButton.h"
#include "controlbar/FakeCamera.h"
#include "support/QtWait.h"
#include "util/BuildInfo.h"

using namespace qv::controlbar;
namespace nt = qv::app::notification;

TEST(WendleControlBar, EditionButtonsAppearWithCameraStarted) {
    // The only test of this executable: nothing has read the edition yet.
    qv::app::setApplicationId(QString::fromUtf8(qv::util::build::wendleApplicationId));
    ASSERT_TRUE(qv::app::isWendleEdition());
    qv::test::FakeCamera camera;
    camera.list = {{true, false}, {false, false}};
    ControlBarView view([&]() -> CameraPort* { return &camera; });
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    // Until the camera runs, even this edition shows the other edition's set.
    EXPECT_FALSE(view.button("toolbar_openfile"));
    EXPECT_FALSE(view.button("toolbar_viewer"));
    EXPECT_TRUE(view.button("toolbar_rotate_left"));
    EXPECT_TRUE(view.button("toolbar_rotate_right"));

    qv::app::post(nt::Camera_List_Ready);
    qv::app::post(nt::CameraStarted, {{"vemoCamera", QVariant(1)}});
    EXPECT_TRUE(view.button("toolbar_openfile"));
    ASSERT_TRUE(view.button("toolbar_viewer"));
    EXPECT_FALSE(view.button("toolbar_rotate_left"));
    EXPECT_FALSE(view.button("toolbar_rotate_right"));
    EXPECT_TRUE(view.model().toggleModel.allowDocCam) << "the document camera stays offered";

    QTest::mouseClick(view.button("toolbar_viewer"), Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] { return view.popover("Browsers")->isVisible(); }, 2000));
    for (const char* entry : {"toolbar_browser", "toolbar_viewer_tunnel", "toolbar_viewer_doccam", "toolbar_lessons"})
        EXPECT_TRUE(view.button(entry)) << entry;
    QVariantMap opened;
    QObject owner;
    qv::app::NotificationCenter::defaultCenter().addObserver(&owner, nt::OpenBrowser,
                                                             [&](const qv::app::Notification& n) { opened = n.userInfo; });
    QTest::mouseClick(view.button("toolbar_lessons"), Qt::LeftButton);
    EXPECT_EQ(opened, (QVariantMap{{"pdfMode", false}, {"lessonsMode", true}}));
    EXPECT_TRUE(qv::test::waitUntil([&] { return !view.popover("Browsers")->isVisible(); }, 2000));
}
