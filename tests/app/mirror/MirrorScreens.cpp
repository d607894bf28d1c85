// The presenter opens the window list, picks another program's window, and its picture appears
// on the whiteboard over the camera with its name; a double click on the picture with the real
// pointer lays the window over it, or says that the window has gone.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QElapsedTimer>
#include <QTimer>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/ContentView.h"
#include "app/rootview/RootView.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/ContentWindow.h"
#include "support/QtWait.h"
#include "support/colourwindows/ColourWindowsProcess.h"
#include "webpanels/TunnelListView.h"
#include "webpanels/WebView.h"

using namespace qv::app;
using qv::test::waitUntil;
namespace nt = qv::app::notification;

namespace {

QVariant evaluate(const QString& script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    whiteboardWebView->wkWebView()->page()->runJavaScript(script, [result](const QVariant& v) { *result = v; });
    EXPECT_TRUE(waitUntil([&] { return result->has_value(); }, 20000)) << script.toStdString();
    return result->value_or(QVariant());
}

void shot(QWidget& window, const QString& name) {
    qv::test::spin(500);
    qv::test::saveWindowPicture(window, name + QStringLiteral(".png"));
}

// The pointer as a person moves it: XTest events through the X server, not events sent to a widget.
void xdotool(const QStringList& arguments) { QProcess::execute(QStringLiteral("xdotool"), arguments); }

// One xdotool call: the X server takes the move before the clicks. (--sync would wait for a
// motion that never comes when the pointer is already there, until xdotool's own time-out.)
void doubleClickAt(QPoint onScreen) {
    xdotool({"mousemove", QString::number(onScreen.x()), QString::number(onScreen.y()), "click", "--repeat", "2",
             "--delay", "90", "1"});
}

// The main window beside another program's windows, "Slides" and "Calculator", and the window
// list opened.
struct MirrorScene {
    qv::test::TemporaryFolders temp;
    qv::test::ColourWindowsProcess other;
    std::uint32_t slides = 0, calculator = 0;
    QObject observer;
    bool started = false;
    QWidget window;
    ContentView* content = nullptr;

    void open() {
        ASSERT_TRUE(temp.makeAndSet());
        slides = other.open("2a7ab0", {1400, 80, 640, 400}, QStringLiteral("Slides - \"Photosynthesis\""));
        calculator = other.open("e08a1e", {1400, 560, 300, 400}, QStringLiteral("Calculator"));
        ASSERT_TRUE(slides && calculator);
        NotificationCenter::defaultCenter().addObserver(&observer, nt::CameraStarted,
                                                        [this](const Notification&) { started = true; });
        content = qv::test::showContentWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(waitUntil([] { return bool(whiteboardWebView); }, 20000));
        ASSERT_TRUE(waitUntil([] { return evaluate(QStringLiteral("typeof window.marrowPanel")).toString() == "object"; }, 30000));
        waitUntil([&] { return started; }, 20000);  // the camera under the board, where there is one
        post(QString::fromLatin1(nt::OpenTunnelList));
        ASSERT_TRUE(picker());
        ASSERT_TRUE(waitUntil([&] { return !picker()->isLoading() && picker()->windowsArray().size() == 2; }, 20000));
    }
    qv::webpanels::TunnelListView* picker() const {
        return qobject_cast<qv::webpanels::TunnelListView*>(content->rootView()->tunnelList());
    }

    // A tap on the slides' cell; back once their picture is on the whiteboard.
    void pickSlides() {
        int index = -1;
        for (int i = 0; i < int(picker()->windowsArray().size()); ++i)
            if (picker()->windowsArray()[i].windowID == slides) index = i;
        ASSERT_GE(index, 0);
        const auto thumbnails = picker()->findChildren<QAbstractButton*>(QStringLiteral("tunnelThumbnail"));
        ASSERT_EQ(thumbnails.size(), 2);
        QTest::mouseClick(thumbnails[index], Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return content->rootView()->tunnelList() == nullptr; }, 5000));  // closed
        const QString width = QStringLiteral("marrowPanel.tunnelPictureWidth(%1)").arg(slides);
        ASSERT_TRUE(waitUntil([&] { return evaluate(width).toInt() == 640; }, 20000));
    }

    // Where the slides' picture lies on the screen.
    QRect slidesPictureOnScreen() {
        const QVariantList r =
            evaluate(QStringLiteral("(r => [r.left, r.top, r.width, r.height])(document.querySelector("
                                    "'.tunnel[data-window=\"%1\"] img').getBoundingClientRect())")
                         .arg(slides))
                .toList();
        if (r.size() != 4) return {};
        const QRect inPage(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
        return QRect(whiteboardWebView->mapToGlobal(inPage.topLeft()), inPage.size());
    }
};

}  // namespace

TEST(MirrorScreens, PickAWindowAndSeeItOnTheWhiteboard) {
    MirrorScene scene;
    scene.open();
    EXPECT_EQ(scene.picker()->size(), QSize(400, 400));
    shot(scene.window, QStringLiteral("mirror-picker"));
    scene.pickSlides();
    EXPECT_EQ(evaluate(QStringLiteral("marrowPanel.tunnelTitle(%1)").arg(scene.slides)).toString(),
              QStringLiteral("Slides - \"Photosynthesis\""));
    shot(scene.window, QStringLiteral("mirror-whiteboard"));
}

TEST(MirrorScreens, ARealDoubleClickLaysTheWindowOverItsPictureAndOneThatClosedIsSaidToBeGone) {
    MirrorScene scene;
    scene.open();
    scene.pickSlides();
    const QRect picture = scene.slidesPictureOnScreen();
    ASSERT_GT(picture.width(), 100);
    ASSERT_NE(scene.other.geometry(scene.slides), picture);

    // A person's double click on the picture: the real window comes exactly over it.
    doubleClickAt(picture.center());
    EXPECT_TRUE(waitUntil([&] { return scene.other.geometry(scene.slides) == picture; }, 15000))
        << "the window is at " << scene.other.geometry(scene.slides).x() << "," << scene.other.geometry(scene.slides).y()
        << " " << scene.other.geometry(scene.slides).width() << "x" << scene.other.geometry(scene.slides).height()
        << ", its picture at " << picture.x() << "," << picture.y() << " " << picture.width() << "x" << picture.height();
    shot(scene.window, QStringLiteral("mirror-double-click"));

    // The program closes its window; the next double click on the picture is answered by the
    // alert, which the presenter answers with a click on "OK".
    scene.other.close(scene.slides);
    // The alert waits in a loop of its own: a click that came before the window manager had put
    // the alert in its place is tried again, and an alert that no click closes within 15 s is
    // closed by the test (which then fails) rather than waiting for ever.
    QStringList alerts;
    QElapsedTimer shown, lastClick;
    bool closedByTest = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (alerts.isEmpty()) {
            alerts << box->informativeText();
            shown.start();
        }
        if (shown.elapsed() > 15000) {
            closedByTest = true;
            box->done(QDialog::Rejected);
            return;
        }
        if (lastClick.isValid() && lastClick.elapsed() < 1000) return;
        lastClick.start();
        QAbstractButton* ok = box->buttons().value(0);
        const QPoint at = ok->mapToGlobal(ok->rect().center());
        // No --sync: where the pointer already is, it would wait for xdotool's own time-out.
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    });
    watcher.start(100);
    doubleClickAt(picture.center());
    EXPECT_TRUE(waitUntil([&] { return !alerts.isEmpty() && !QApplication::activeModalWidget(); }, 30000));
    EXPECT_FALSE(closedByTest) << "no click on OK closed the alert";
    EXPECT_EQ(alerts, QStringList{QStringLiteral(
                          "Original Window was minimized or closed, please choose another window in Plenwick.")});
}
