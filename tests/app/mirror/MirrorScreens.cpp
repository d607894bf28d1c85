// The presenter opens the window list, picks another program's window, and its picture appears
// on the whiteboard over the camera with its name.
#include <gtest/gtest.h>

#include <QAbstractButton>
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

}  // namespace

TEST(MirrorScreens, PickAWindowAndSeeItOnTheWhiteboard) {
    qv::test::TemporaryFolders temp;
    ASSERT_TRUE(temp.makeAndSet());

    // Another program's windows, beside the main window.
    qv::test::ColourWindowsProcess other;
    const std::uint32_t slides = other.open("2a7ab0", {1400, 80, 640, 400}, QStringLiteral("Slides - \"Photosynthesis\""));
    const std::uint32_t calculator = other.open("e08a1e", {1400, 560, 300, 400}, QStringLiteral("Calculator"));
    ASSERT_TRUE(slides && calculator);

    QObject observer;
    bool started = false;
    NotificationCenter::defaultCenter().addObserver(&observer, nt::CameraStarted, [&](const Notification&) { started = true; });
    QWidget window;
    ContentView* content = qv::test::showContentWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(waitUntil([] { return bool(whiteboardWebView); }, 20000));
    ASSERT_TRUE(waitUntil([] { return evaluate(QStringLiteral("typeof window.marrowPanel")).toString() == "object"; }, 30000));
    waitUntil([&] { return started; }, 20000);  // the camera under the board, where there is one

    post(QString::fromLatin1(nt::OpenTunnelList));
    auto* picker = qobject_cast<qv::webpanels::TunnelListView*>(content->rootView()->tunnelList());
    ASSERT_TRUE(picker);
    ASSERT_TRUE(waitUntil([&] { return !picker->isLoading() && picker->windowsArray().size() == 2; }, 20000));
    EXPECT_EQ(picker->size(), QSize(400, 400));
    shot(window, QStringLiteral("mirror-picker"));

    // The slides are in front of the list's first row? Pick them by name.
    int index = -1;
    for (int i = 0; i < int(picker->windowsArray().size()); ++i)
        if (picker->windowsArray()[i].windowID == slides) index = i;
    ASSERT_GE(index, 0);
    const auto thumbnails = picker->findChildren<QAbstractButton*>(QStringLiteral("tunnelThumbnail"));
    ASSERT_EQ(thumbnails.size(), 2);
    QTest::mouseClick(thumbnails[index], Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return content->rootView()->tunnelList() == nullptr; }, 5000));  // closed

    const QString title = QStringLiteral("marrowPanel.tunnelTitle(%1)").arg(slides);
    const QString width = QStringLiteral("marrowPanel.tunnelPictureWidth(%1)").arg(slides);
    ASSERT_TRUE(waitUntil([&] { return evaluate(width).toInt() == 640; }, 20000));
    EXPECT_EQ(evaluate(title).toString(), QStringLiteral("Slides - \"Photosynthesis\""));
    shot(window, QStringLiteral("mirror-whiteboard"));
}
