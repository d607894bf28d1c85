#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QMenu>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include "app/rootview/PanelFactories.h"
#include "app/rootview/RootView.h"
#include "app/rootview/RootViewParts.h"
#include "app/rootview/SharingsPicker.h"
#include "state/AppState.h"
#include "state/Failures.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "controlbar/ControlBarView.h"
#include "support/QtWait.h"

using namespace qv::app;
namespace nt = qv::app::notification;

namespace {

struct RootFixture : testing::Test {
    std::vector<double> zooms;
    bool cameraAvailable = true;
    std::vector<QWidget*> pdfTargets;
    std::unique_ptr<RootView> view;

    void SetUp() override {
        PanelFactories f = PanelFactories::placeholders();
        f.openPDF = [this](QWidget* panel, const QString&) { pdfTargets.push_back(panel); };
        RootView::Camera camera;
        camera.controlBar = []() -> qv::controlbar::CameraPort* { return nullptr; };
        camera.available = [this] { return cameraAvailable; };
        camera.setZoom = [this](double z) { zooms.push_back(z); };
        view = std::make_unique<RootView>(std::move(f), std::move(camera));
        view->resize(1400, 900);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    void TearDown() override { view.reset(); }

    void wheel(QWidget* w, int delta) {
        QWheelEvent e(QPointF(50, 50), w->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w, &e);
    }
    int stackIndex(QWidget* w) { return view->children().indexOf(w); }
};

}  // namespace

TEST_F(RootFixture, OverlaysAndCentredPanelsInTheirOrder) {
    // Vemo edition: no file library.
    EXPECT_FALSE(view->fileLibrary());
    EXPECT_EQ(view->archiveList()->x(), 0);
    auto* bar = view->controlBar();
    EXPECT_EQ(bar->geometry().bottom(), view->height() - 1);
    EXPECT_NEAR(bar->geometry().center().x(), view->width() / 2, 1);

    post(nt::OpenTunnelList);
    post(nt::OpenGifGenerator);
    post(nt::OpenKestrixConfig);
    ASSERT_TRUE(view->tunnelList() && view->gifGenerator() && view->kestrixConfig());
    EXPECT_EQ(view->tunnelList()->size(), QSize(400, 400));
    for (QWidget* panel : {view->tunnelList(), view->gifGenerator(), view->kestrixConfig()})
        EXPECT_NEAR(panel->geometry().center().x(), view->rect().center().x(), 1);
    EXPECT_LT(stackIndex(view->archiveList()), stackIndex(bar));
    EXPECT_LT(stackIndex(bar), stackIndex(view->tunnelList()));
    EXPECT_LT(stackIndex(view->tunnelList()), stackIndex(view->gifGenerator()));
    EXPECT_LT(stackIndex(view->gifGenerator()), stackIndex(view->kestrixConfig()));

    // Each opening builds the panel afresh.
    QPointer<QWidget> first = view->tunnelList();
    post(nt::OpenTunnelList);
    EXPECT_FALSE(view->tunnelList());
    post(nt::OpenTunnelList);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    EXPECT_TRUE(view->tunnelList());
}

TEST_F(RootFixture, CameraAreaPinchByWheelAndTheFloatingWindows) {
    CameraArea* area = view->cameraArea();
    currentZoomFactor = 9.5;
    wheel(area, 120);
    currentZoomFactor = 0.52;
    wheel(area, -120);
    // A touch-pad pinch: native zoom steps, each the change since the last.
    currentZoomFactor = 2.0;
    auto native = [&](Qt::NativeGestureType type, double value) {
        QNativeGestureEvent e(type, QPointingDevice::primaryPointingDevice(), 2, QPointF(50, 50), QPointF(50, 50),
                              area->mapToGlobal(QPointF(50, 50)), value, QPointF());
        QCoreApplication::sendEvent(area, &e);
    };
    native(Qt::BeginNativeGesture, 0);
    native(Qt::ZoomNativeGesture, 0.005);  // below the pinch's threshold
    native(Qt::ZoomNativeGesture, 0.495);
    currentZoomFactor = 5.0;  // read once, at the pinch's start
    native(Qt::ZoomNativeGesture, 0.5);
    native(Qt::EndNativeGesture, 0);
    EXPECT_EQ(zooms, (std::vector<double>{10.0, 0.5, 3.0, 4.0}));
    EXPECT_FALSE(view->model().pinch.pinchGestureStart());

    cameraAvailable = false;
    wheel(area, 120);
    EXPECT_EQ(zooms.size(), 4u);
    currentZoomFactor = 1.0;

    post(nt::OpenPIPCamera);
    post(nt::OpenDocCamera);
    ASSERT_TRUE(area->pipWindow() && area->docCameraWindow());
    EXPECT_EQ(area->pipWindow()->pos() + area->pipWindow()->boxRect().topLeft(), QPoint(20, 20));
    EXPECT_LT(area->docCameraWindow()->geometry().bottom(), 0) << "the document camera's window lies out of sight";
    // Dragging the picture-in-picture box moves both windows.
    QWidget* pip = area->pipWindow();
    QTest::mousePress(pip, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(pip, QPoint(130, 140));
    // The window followed the pointer: the same screen point is now (100, 100) inside it.
    QTest::mouseRelease(pip, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(view->model().cameraWindows.pipOffset, QPointF(30, 40));
    EXPECT_EQ(area->docCameraWindow()->pos(), QPoint(-470, -460));
    // The close button closes its own window; the capture content goes with it.
    QPointer<QWidget> content = pip->findChild<QWidget*>("PIP Camera");
    ASSERT_TRUE(content);
    QWidget* close = pip->findChild<QWidget*>("close");
    QTest::mouseClick(close, Qt::LeftButton);
    ASSERT_TRUE(qv::test::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !content;
    }, 1000));
    EXPECT_FALSE(view->model().showPipCamera);
    EXPECT_TRUE(view->model().showDocCamera);
}

TEST_F(RootFixture, BrowserPanelOpensReopensAndLaysItselfOut) {
    globalPdfMode = false;
    post(nt::OpenBrowser, {{"pdfMode", false}});
    CameraArea* area = view->cameraArea();
    ASSERT_TRUE(qv::test::waitUntil([&] { return area->browserPanel() != nullptr; }, 2000));
    EXPECT_EQ(area->browserPanel()->geometry(), QRect(100, 100, 600, 500)) << "its previous size and place first";
    ASSERT_TRUE(qv::test::waitUntil([&] { return area->browserPanel()->width() != 600; }, 2000));
    const QSize window = view->size();
    EXPECT_EQ(area->browserPanel()->size(), QSize(int(window.width() / 1.5), window.height() - 200));

    // A PDF request closes the shown panel at once and builds a new one in PDF mode; the closed
    // panel is never asked to load anything.
    QPointer<QWidget> old = area->browserPanel();
    post(nt::OpenBrowser, {{"pdfMode", true}, {"pdfPath", "/tmp/a b.pdf"}});
    EXPECT_FALSE(area->browserPanel());
    EXPECT_TRUE(old->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(old);
    ASSERT_TRUE(qv::test::waitUntil([&] { return area->browserPanel() != nullptr; }, 2000));
    EXPECT_TRUE(pdfTargets.empty());
    EXPECT_EQ(pdfViewerQuery, "file=http%3A%2F%2Flocalhost%3A9080%2Ffiles%2F%40%40tmp%40%40a%2520b.pdf");
    EXPECT_TRUE(area->browserPanel()->findChild<QWidget*>("Browser (PDF)"));
    // Dragging the panel moves it; dragging its bottom-right corner resizes it.
    QWidget* panel = area->browserPanel();
    ASSERT_TRUE(qv::test::waitUntil([&] { return panel->width() != 600; }, 2000));
    const QRect before = panel->geometry();
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(200, 150));
    QTest::mouseMove(panel, QPoint(230, 170));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(200, 150));  // the panel followed
    EXPECT_EQ(panel->geometry(), before.translated(30, 20));
    const QPoint corner(panel->width() - 5, panel->height() - 5);
    QTest::mousePress(panel, Qt::LeftButton, {}, corner);
    // The corner is tested afresh on every change: the pointer keeps to it in small steps.
    for (int step = 1; step <= 10; ++step) QTest::mouseMove(panel, corner - QPoint(10 * step, 5 * step));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, corner - QPoint(100, 50));
    EXPECT_EQ(panel->size(), before.size() - QSize(100, 50));
    EXPECT_EQ(panel->pos(), before.topLeft() + QPoint(30, 20));

    view->model().closeBrowser();
    EXPECT_FALSE(area->browserPanel());
    globalPdfMode = false;
    pdfViewerQuery.clear();
}

TEST_F(RootFixture, SideBySidePaneOpensAtHalfTheWindowAndCloses) {
    QTemporaryDir dir;
    const QString path = dir.filePath("shot.png");
    QImage image(160, 90, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(path));
    post(nt::OpenSideBySide, {{"url", QUrl::fromLocalFile(path)}});
    SideBySidePane* pane = view->sideBySidePane();
    ASSERT_TRUE(pane->isVisible());
    ASSERT_TRUE(qv::test::waitUntil([&] { return std::abs(pane->width() - view->width() / 2) < 10; }, 3000));
    EXPECT_FALSE(view->model().splitWidth);
    // Buttons: right edges 65 and 15 inside the pane, 15 below its top.
    EXPECT_EQ(pane->closeButton()->geometry(), QRect(pane->width() - 65 - 32, 15, 32, 32));
    EXPECT_EQ(pane->shareButton()->geometry(), QRect(pane->width() - 15 - 32, 15, 32, 32));
    // A double click zooms the picture to 2.
    const QRectF before = pane->pictureRect();
    QTest::mouseDClick(pane, Qt::LeftButton, {}, pane->rect().center());
    EXPECT_EQ(view->model().picture.scale, 2.0);
    EXPECT_NEAR(pane->pictureRect().width(), before.width() * 2, 1);
    // ... eased in over half a second: on its way first, then there.
    EXPECT_LT(pane->shownPictureRect().width(), before.width() * 1.9);
    EXPECT_TRUE(qv::test::waitUntil([&] { return !pane->isAnimating(); }, 3000));
    EXPECT_NEAR(pane->shownPictureRect().width(), pane->pictureRect().width(), 1);
    // The share button opens the sharing menu for the shown file at the button.
    QTest::mouseClick(pane->shareButton(), Qt::LeftButton);
    EXPECT_TRUE(view->model().showSharingPicker);
    SharingsPicker* picker = pane->sharingsPicker();
    ASSERT_TRUE(qv::test::waitUntil([&] { return picker->menu() && picker->menu()->isVisible(); }, 2000));
    EXPECT_EQ(picker->sharingItems(), std::vector<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_LT((picker->menu()->pos() - pane->shareButton()->mapToGlobal(QPoint(0, 32))).manhattanLength(), 40);
    picker->menu()->close();
    ASSERT_TRUE(qv::test::waitUntil([&] { return !view->model().showSharingPicker; }, 2000));

    // A drag displaces the picture by its own translation.
    const QPointF centre = pane->pictureRect().center();
    QTest::mousePress(pane, Qt::LeftButton, {}, QPoint(200, 300));
    QTest::mouseMove(pane, QPoint(240, 330));
    QTest::mouseRelease(pane, Qt::LeftButton, {}, QPoint(240, 330));
    EXPECT_EQ(pane->pictureRect().center(), centre + QPointF(40, 30));
    // The picture follows with a spring: it moves, overshoots a little at most, and settles there.
    EXPECT_TRUE(pane->isAnimating());
    double furthest = 0;
    EXPECT_TRUE(qv::test::waitUntil([&] {
        furthest = std::max(furthest, pane->shownPictureRect().center().x() - centre.x());
        return !pane->isAnimating();
    }, 3000));
    EXPECT_EQ(pane->shownPictureRect().center(), centre + QPointF(40, 30));
    EXPECT_LT(furthest, 40 * 1.1) << "the spring overshoots too far";

    QTest::mouseClick(pane->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(view->model().showSideBySide);
    EXPECT_FALSE(pane->isVisible());
}

TEST(SharingActions, WhatEachEntryStarts) {
    SharingActions actions;
    std::vector<QStringList> launched;
    std::vector<QUrl> opened;
    actions.launch = [&](const QString& program, const QStringList& args) {
        launched.push_back(QStringList{program} + args);
        return true;
    };
    actions.open = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    const QUrl file = QUrl::fromLocalFile("/tmp/my shots/20260101_120000.png");
    EXPECT_TRUE(actions.perform(SharingActions::Kind::SendByEmail, file));
    EXPECT_TRUE(actions.perform(SharingActions::Kind::OpenWithDefaultApplication, file));
    EXPECT_TRUE(actions.perform(SharingActions::Kind::ShowInFileManager, file));
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0], (QStringList{"xdg-email", "--attach", "/tmp/my shots/20260101_120000.png"}));
    EXPECT_EQ(opened, (std::vector<QUrl>{file, QUrl::fromLocalFile("/tmp/my shots")}));
    EXPECT_FALSE(actions.perform(SharingActions::Kind::SendByEmail, QUrl("https://example.org/x.png")))
        << "only local files are shared";
    EXPECT_TRUE(actions.perform(SharingActions::Kind::CopyToClipboard, file));
    EXPECT_EQ(QApplication::clipboard()->mimeData()->urls(), QList<QUrl>{file});
}

TEST(SharingActions, WithoutAProgramForTheFileTheTeacherIsToldWhatAndWhere) {
    // A desktop where the opener finds no program for anything and no e-mail program exists.
    QTemporaryDir bin;
    QFile opener(bin.filePath("xdg-open"));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    std::vector<QString> shown;
    setFailureDisplay([&](const QString& text) { shown.push_back(text); });

    SharingActions actions;
    const QUrl file = QUrl::fromLocalFile("/tmp/my shots/20260101_120000.png");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(actions.perform(SharingActions::Kind::OpenWithDefaultApplication, file));
    ASSERT_TRUE(qv::test::waitUntil([&] { return shown.size() == 1; }, 10000));
    EXPECT_TRUE(actions.perform(SharingActions::Kind::ShowInFileManager, file));
    ASSERT_TRUE(qv::test::waitUntil([&] { return shown.size() == 2; }, 10000));
    EXPECT_FALSE(actions.perform(SharingActions::Kind::SendByEmail, file));
    ASSERT_EQ(shown.size(), 3u);
    const std::string printed = testing::internal::GetCapturedStdout();
    qputenv("PATH", path);
    setFailureDisplay({});

    EXPECT_TRUE(shown[0].startsWith("No program could open:\n/tmp/my shots/20260101_120000.png\n")) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].startsWith("No program could open:\n/tmp/my shots\n")) << shown[1].toStdString();
    EXPECT_TRUE(shown[2].startsWith("No e-mail program could send the file:\n/tmp/my shots/20260101_120000.png\n"))
        << shown[2].toStdString();
    // The lines are printed as well.
    EXPECT_NE(printed.find("No program could open: /tmp/my shots/20260101_120000.png"), std::string::npos) << printed;
    EXPECT_NE(printed.find("No e-mail program could send the file: /tmp/my shots/20260101_120000.png"), std::string::npos)
        << printed;
}

TEST_F(RootFixture, AFailureIsShownAboveEveryPanelUntilDismissed) {
    post(nt::OpenKestrixConfig);
    ASSERT_TRUE(view->kestrixConfig());
    view->showMessage("Failed writing snapshot:\n/somewhere/images/20260101_120000.png\nNo such file or directory");
    auto* message = view->message();
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->isVisible());
    EXPECT_TRUE(message->text().contains("/somewhere/images/20260101_120000.png"));
    EXPECT_GT(stackIndex(message), stackIndex(view->kestrixConfig()));
    EXPECT_GT(stackIndex(message), stackIndex(view->controlBar()));
    EXPECT_NEAR(message->geometry().center().x(), view->width() / 2, 2);
    QTest::mouseClick(message->dismissButton(), Qt::LeftButton);
    EXPECT_FALSE(message->isVisible());
}

TEST(SharingsPicker, OpensOneMenuAndReportsBackWhenItCloses) {
    QWidget host;
    host.resize(200, 200);
    auto* picker = new SharingsPicker(&host);
    picker->setSharingItems({QUrl::fromLocalFile("/tmp/x.png")});
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    std::vector<bool> reported;
    QObject::connect(picker, &SharingsPicker::presentedChanged, [&](bool p) { reported.push_back(p); });
    picker->setPresented(true);
    EXPECT_FALSE(picker->menu()) << "the menu opens on the next turn of the event loop";
    ASSERT_TRUE(qv::test::waitUntil([&] { return picker->menu() && picker->menu()->isVisible(); }, 2000));
    QStringList titles;
    for (QAction* a : picker->menu()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"Copy", "Open", "Show in File Manager", "Send by E-mail"}));
    picker->menu()->close();  // dismissed without a choice
    ASSERT_TRUE(qv::test::waitUntil([&] { return !picker->isPresented(); }, 2000));
    EXPECT_EQ(reported, (std::vector<bool>{true, false}));
}
