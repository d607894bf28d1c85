// The X11 window system against another program's coloured windows, on a display of the tests'
// own with openbox: which windows are listed, the pictures the page receives, where the real
// windows go, a window that closed, and the picker with seven windows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <map>

#include "support/PrivateDesktop.h"
#include "support/QtWait.h"
#include "support/TestPictures.h"
#include "support/colourwindows/ColourWindowsProcess.h"
#include "webpanels/PickedTunnelWindows.h"
#include "webpanels/ScriptCalls.h"
#include "webpanels/TunnelListView.h"
#include "webpanels/WebViewController.h"
#include "webpanels/x11/X11TunnelWindows.h"

using namespace qv::webpanels;
using qv::test::ColourWindowsProcess;
using qv::test::waitUntil;

namespace {

const TunnelWindowEntry* find(const std::vector<TunnelWindowEntry>& list, std::uint32_t id) {
    for (const auto& e : list)
        if (e.windowID == id) return &e;
    return nullptr;
}

int indexOf(const std::vector<TunnelWindowEntry>& list, std::uint32_t id) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].windowID == id) return int(i);
    return -1;
}

QColor centreOf(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }

bool near(QColor a, QColor b, int tolerance = 24) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QImage decodeDataAddress(const QString& dataAddress) {
    const QString prefix = QStringLiteral("data:image/jpeg;base64,");
    if (!dataAddress.startsWith(prefix)) return {};
    return QImage::fromData(QByteArray::fromBase64(dataAddress.mid(prefix.size()).toLatin1()), "JPEG");
}

// The picture argument of "renderTunnelWindow(n, '...')".
QString pictureArgument(const QString& script) {
    static const QRegularExpression call(QStringLiteral(R"(^renderTunnelWindow\(\d+, '([^']*)'\)$)"));
    const auto match = call.match(script);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("<not a reply>");
}

// The alerts shown while `run` runs, each answered from the event loop it runs (they are modal).
QStringList alertsWhile(const std::function<void()>& run) {
    QStringList alerts;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            alerts << box->informativeText();
            box->buttons().first()->click();
        }
    });
    watcher.start(50);
    run();
    return alerts;
}

const QString kWindowGone =
    QStringLiteral("Original Window was minimized or closed, please choose another window in Plenwick.");

struct Mirroring {
    std::shared_ptr<TunnelWindowSystem> x11 = x11::makeX11TunnelWindowSystem();
    std::shared_ptr<PickedTunnelWindows> picked = std::make_shared<PickedTunnelWindows>(x11);
    std::vector<QString> scripts;
    WebViewController controller;
    Mirroring() {
        controller.setTunnelWindowSystem(picked);
        controller.setScriptEvaluator([this](const QString& s) { scripts.push_back(s); });
    }
    // Waits until the listing shows every one of `ids`; returns the last listing.
    std::vector<TunnelWindowEntry> listingWith(std::initializer_list<std::uint32_t> ids) {
        std::vector<TunnelWindowEntry> list;
        waitUntil(
            [&] {
                list = x11->listWindows();
                return std::all_of(ids.begin(), ids.end(), [&](std::uint32_t id) { return find(list, id); });
            },
            20000);
        return list;
    }
};

}  // namespace

TEST(X11TunnelWindows, ListsOtherProgramsNormalWindowsOnThisDesktopFrontFirst) {
    ASSERT_TRUE(x11::makeX11TunnelWindowSystem()->unavailableReason().isEmpty());
    // One window of our own process.
    QWidget own;
    own.setWindowTitle(QStringLiteral("Our own window"));
    own.setGeometry(700, 100, 200, 150);
    own.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&own));

    ColourWindowsProcess other;
    const std::uint32_t red = other.open("ff0000", {60, 80, 300, 200}, QStringLiteral("Red \"slides\" it's"));
    const std::uint32_t legacy = other.open("00ff00", {420, 80, 200, 150}, QStringLiteral("Legacy name"), -1, "wm");
    const std::uint32_t elsewhere = other.open("0000ff", {60, 400, 200, 150}, QStringLiteral("Elsewhere"), 1);
    const std::uint32_t dock = other.open("ffff00", {0, 900, 1600, 40}, QStringLiteral("A dock"), -1, "dock");
    const std::uint32_t front = other.open("ff00ff", {420, 400, 200, 150}, QStringLiteral("In front"));
    ASSERT_TRUE(red && legacy && elsewhere && dock && front);

    Mirroring m;
    const auto list = m.listingWith({red, legacy, front});
    ASSERT_TRUE(find(list, red) && find(list, legacy) && find(list, front));
    EXPECT_EQ(find(list, red)->name, QStringLiteral("Red \"slides\" it's"));
    EXPECT_EQ(find(list, legacy)->name, QStringLiteral("Legacy name"));  // from WM_NAME
    EXPECT_EQ(find(list, front)->pid, other.pid());
    EXPECT_EQ(find(list, red)->bounds, other.geometry(red));  // the content, inside the frame
    EXPECT_TRUE(near(centreOf(find(list, red)->thumbnail), Qt::red));
    EXPECT_EQ(find(list, red)->thumbnail.size(), QSize(300, 200));
    // The newest window is in front of the older ones.
    EXPECT_LT(indexOf(list, front), indexOf(list, red));
    // Never: our own windows, another desktop's, a dock.
    EXPECT_FALSE(find(list, elsewhere));
    EXPECT_FALSE(find(list, dock));
    EXPECT_FALSE(find(list, std::uint32_t(own.winId())));
    for (const auto& e : list) EXPECT_NE(e.pid, QCoreApplication::applicationPid()) << e.name.toStdString();
}

TEST(X11TunnelWindows, OnlyPickedWindowsReachThePageAsJpegsOfTheirOwnContent) {
    ColourWindowsProcess other;
    const std::uint32_t red = other.open("ff0000", {100, 100, 320, 240}, QStringLiteral("Red"));
    const std::uint32_t blue = other.open("0000ff", {500, 100, 320, 240}, QStringLiteral("Blue"));
    Mirroring m;
    m.listingWith({red, blue});

    // Not picked: no picture for the page, whatever the window shows.
    m.controller.renderTunnel(red);
    ASSERT_EQ(m.scripts.size(), 1u);
    EXPECT_EQ(m.scripts[0], QStringLiteral("renderTunnelWindow(%1, '')").arg(red));

    m.picked->pick(red);
    m.controller.renderTunnel(red);
    ASSERT_EQ(m.scripts.size(), 2u);
    const QImage picture = decodeDataAddress(pictureArgument(m.scripts[1]));
    ASSERT_FALSE(picture.isNull()) << m.scripts[1].left(60).toStdString();
    EXPECT_EQ(picture.size(), QSize(320, 240));
    EXPECT_TRUE(near(centreOf(picture), Qt::red)) << centreOf(picture).name().toStdString();

    // A window laid over it does not change its picture.
    const std::uint32_t cover = other.open("00ff00", {80, 80, 400, 300}, QStringLiteral("Cover"));
    m.listingWith({cover});
    m.controller.renderTunnel(red);
    ASSERT_EQ(m.scripts.size(), 3u);
    EXPECT_TRUE(near(centreOf(decodeDataAddress(pictureArgument(m.scripts[2]))), Qt::red));
    m.controller.renderTunnel(blue);  // still not picked
    EXPECT_EQ(m.scripts.back(), QStringLiteral("renderTunnelWindow(%1, '')").arg(blue));
}

// Kept off the screen for the first time, a window's picture holds only what its program draws
// afterwards (these programs draw a little late, as a busy one does): the first listing already
// shows each window's own picture, also where another window covers it.
TEST(X11TunnelWindows, CoveredWindowsShowTheirOwnPictureTheFirstTimeTheyAreListed) {
    ColourWindowsProcess other;
    struct Seen {
        std::uint32_t window;
        QColor colour;
        std::vector<QPoint> points;  // in the window: covered ones and an open one
    };
    const std::vector<Seen> seen = {
        {other.open("ff0000", {100, 100, 300, 200}, QStringLiteral("Partly covered"), -1, "drawn"),
         Qt::red,
         {{250, 150}, {40, 40}}},
        {other.open("ffff00", {700, 150, 200, 120}, QStringLiteral("Wholly covered"), -1, "drawn"),
         Qt::yellow,
         {{100, 60}, {10, 10}, {190, 110}}},
        {other.open("ff00ff", {100, 600, 200, 120}, QStringLiteral("Uncovered"), -1, "drawn"),
         Qt::magenta,
         {{100, 60}}},
    };
    ASSERT_TRUE(other.open("00ff00", {250, 180, 300, 200}, QStringLiteral("Cover")));
    ASSERT_TRUE(other.open("00ffff", {650, 100, 320, 240}, QStringLiteral("Big cover")));

    // Each window's picture from the first listing that holds it (the window manager lists new
    // windows a moment after they show).
    auto x11 = x11::makeX11TunnelWindowSystem();
    std::map<std::uint32_t, QImage> first;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const TunnelWindowEntry& entry : x11->listWindows())
                first.emplace(entry.windowID, entry.thumbnail);
            return std::all_of(seen.begin(), seen.end(),
                               [&](const Seen& s) { return first.count(s.window) != 0; });
        },
        20000));
    for (const Seen& s : seen) {
        ASSERT_TRUE(s.window);
        const QImage& picture = first[s.window];
        qv::test::saveTestPicture(picture, QStringLiteral("tunnel-first-listing-%1.png").arg(s.colour.name().mid(1)));
        for (const QPoint& point : s.points)
            EXPECT_TRUE(near(picture.pixelColor(point), s.colour))
                << std::hex << s.window << " at " << std::dec << point.x() << "," << point.y() << ": "
                << picture.pixelColor(point).name().toStdString();
    }
}

TEST(X11TunnelWindows, PositionAndControlMoveOnlyPickedWindows) {
    ColourWindowsProcess other;
    const std::uint32_t picked = other.open("ff0000", {400, 300, 320, 240}, QStringLiteral("Picked"));
    const std::uint32_t notPicked = other.open("0000ff", {900, 300, 320, 240}, QStringLiteral("Not picked"));
    Mirroring m;
    m.listingWith({picked, notPicked});
    m.picked->pick(picked);
    const QRect untouched = other.geometry(notPicked);
    ASSERT_TRUE(untouched.isValid());

    // Aside: into the screen's top left corner.
    m.controller.handleMessage(QVariantMap{{"type", "positionTunnel"}, {"windowNumber", qint64(notPicked)}});
    m.controller.handleMessage(QVariantMap{{"type", "positionTunnel"}, {"windowNumber", qint64(picked)}});
    ASSERT_TRUE(waitUntil([&] { const QRect g = other.geometry(picked); return g.x() < 40 && g.y() < 60; }, 10000))
        << other.geometry(picked).x() << "," << other.geometry(picked).y();

    // Over its picture, exactly.
    m.controller.handleMessage(QVariantMap{{"type", "controlTunnel"}, {"windowNumber", qint64(notPicked)}, {"left", 10},
                                           {"top", 10}, {"width", 100}, {"height", 100}});
    m.controller.handleMessage(QVariantMap{{"type", "controlTunnel"}, {"windowNumber", qint64(picked)}, {"left", 100},
                                           {"top", 200}, {"width", 300.7}, {"height", 150}});
    EXPECT_TRUE(waitUntil([&] { return other.geometry(picked) == QRect(100, 200, 300, 150); }, 10000))
        << other.geometry(picked).x() << "," << other.geometry(picked).y() << " " << other.geometry(picked).width()
        << "x" << other.geometry(picked).height();
    EXPECT_EQ(other.geometry(notPicked), untouched);
}

TEST(X11TunnelWindows, AWindowThatClosedGetsNoPictureAndControlShowsTheAlertOnce) {
    ColourWindowsProcess other;
    const std::uint32_t window = other.open("ff0000", {100, 100, 200, 150}, QStringLiteral("Soon gone"));
    Mirroring m;
    m.listingWith({window});
    m.picked->pick(window);
    other.close(window);
    ASSERT_TRUE(waitUntil([&] { return !find(m.x11->listWindows(), window); }, 10000));

    m.controller.renderTunnel(window);
    ASSERT_EQ(m.scripts.size(), 1u);
    EXPECT_EQ(m.scripts[0], QStringLiteral("renderTunnelWindow(%1, '')").arg(window));
    m.controller.positionTunnel(window);  // nothing, and no crash

    const QStringList alerts = alertsWhile([&] {
        m.controller.handleMessage(QVariantMap{{"type", "controlTunnel"}, {"windowNumber", qint64(window)}, {"left", 1},
                                               {"top", 2}, {"width", 30}, {"height", 40}});
    });
    EXPECT_EQ(alerts, QStringList{kWindowGone});
}

TEST(X11TunnelWindows, APickEndsWithItsWindowThoughTheNextProgramGetsItsNumber) {
    Mirroring m;
    std::uint32_t slides = 0;
    qint64 slidesPid = 0;
    {
        ColourWindowsProcess presenting;
        slides = presenting.open("ff0000", {100, 100, 320, 240}, QStringLiteral("Slides"));
        slidesPid = presenting.pid();
        m.listingWith({slides});
        m.picked->pick(slides, slidesPid);
        m.controller.renderTunnel(slides);
        ASSERT_EQ(m.scripts.size(), 1u);
        ASSERT_TRUE(near(centreOf(decodeDataAddress(pictureArgument(m.scripts[0]))), Qt::red));
    }  // the slides program ends
    ASSERT_TRUE(waitUntil([&] { return !find(m.x11->listWindows(), slides); }, 10000));

    // The next program to connect gets the same number for its first window.
    ColourWindowsProcess other;
    const std::uint32_t exam = other.open("0000ff", {700, 300, 320, 240}, QStringLiteral("Exam answers"));
    ASSERT_EQ(exam, slides) << "the X server gave the new window another number: nothing reused to test";
    m.listingWith({exam});
    const QRect examPlace = other.geometry(exam);

    // The frame gets no picture of it, and the real window is neither moved nor laid over.
    m.controller.renderTunnel(slides);
    ASSERT_EQ(m.scripts.size(), 2u);
    EXPECT_EQ(m.scripts[1], QStringLiteral("renderTunnelWindow(%1, '')").arg(slides));
    EXPECT_FALSE(m.picked->isPicked(slides));
    m.controller.positionTunnel(slides);
    const QStringList alerts = alertsWhile([&] {
        m.controller.handleMessage(QVariantMap{{"type", "controlTunnel"}, {"windowNumber", qint64(slides)}, {"left", 10},
                                               {"top", 20}, {"width", 200}, {"height", 100}});
    });
    EXPECT_EQ(alerts, QStringList{kWindowGone});
    qv::test::spin(300);
    EXPECT_EQ(other.geometry(exam), examPlace);

    // A tap on a stale listing of the slides window does not pick the new one either.
    m.picked->pick(slides, slidesPid);
    EXPECT_FALSE(m.picked->isPicked(slides));
    EXPECT_FALSE(m.picked->windowPicture(slides));

    // Picked as itself, from a fresh listing, the new window is mirrored.
    m.picked->pick(exam, other.pid());
    m.controller.renderTunnel(exam);
    EXPECT_TRUE(near(centreOf(decodeDataAddress(pictureArgument(m.scripts.back()))), Qt::blue));
}

TEST(X11TunnelWindows, PickerLaysSevenWindowsOutThreeThreeOneAndMirrorsTheTappedOne) {
    ColourWindowsProcess other;
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < 7; ++i)
        ids.push_back(other.open(QStringLiteral("%1%1%1").arg(QString::number(0x20 + i * 0x20, 16)),
                                 {40 + 200 * (i % 4), 60 + 260 * (i / 4), 180, 120}, QStringLiteral("Window <%1>").arg(i)));
    Mirroring m;
    m.listingWith({ids.begin()[0], ids.begin()[6]});

    std::vector<QString> page;
    TunnelListView picker(m.picked, [&](const QString& s) { page.push_back(s); });
    picker.resize(400, 400);
    picker.show();
    ASSERT_TRUE(waitUntil([&] { return !picker.isLoading() && picker.windowsArray().size() >= 7; }, 20000));
    // Only the helper's windows are on this desktop besides ours.
    ASSERT_EQ(picker.windowsArray().size(), 7u);
    const auto rows = picker.findChildren<QWidget*>(QStringLiteral("tunnelRow"));
    ASSERT_EQ(rows.size(), 3);
    std::vector<int> cells;
    for (QWidget* row : rows) cells.push_back(int(row->findChildren<QWidget*>(QStringLiteral("tunnelCell")).size()));
    EXPECT_EQ(cells, (std::vector<int>{3, 3, 1}));
    EXPECT_FALSE(picker.findChild<QLabel*>(QStringLiteral("tunnelListEmpty"))->isVisible());

    // A tap on the last cell mirrors that window, its name as a safe script literal.
    auto* last = rows[2]->findChild<QAbstractButton*>(QStringLiteral("tunnelThumbnail"));
    ASSERT_TRUE(last);
    QTest::mouseClick(last, Qt::LeftButton);
    ASSERT_EQ(page.size(), 1u);
    const TunnelWindow& shown = picker.windowsArray()[6];
    EXPECT_TRUE(m.picked->isPicked(shown.windowID));
    EXPECT_TRUE(page[0].startsWith(QStringLiteral("showTunnelWindow(%1, 'data:image/jpeg;base64,").arg(shown.windowID)));
    EXPECT_TRUE(page[0].endsWith(QStringLiteral(", %1)").arg(javaScriptStringLiteral(shown.name))));
    EXPECT_FALSE(page[0].contains(QLatin1Char('<')));
}

// A bare X server: no window manager (plain requests move windows) and no Composite extension
// (pictures are what the screen shows).
TEST(X11TunnelWindows, WithoutWindowManagerOrCompositeTheScreenAndPlainRequestsServe) {
    qv::test::PrivateDesktop bare({"1024x768", /*composite=*/false, /*windowManager=*/false, /*exportDisplay=*/false});
    ASSERT_TRUE(bare.ok());
    const QString display = QString::fromStdString(bare.display());
    ColourWindowsProcess other(display);
    const std::uint32_t red = other.open("ff0000", {100, 100, 200, 100}, QStringLiteral("Red"));
    // Half of it beyond the screen's right edge.
    const std::uint32_t green = other.open("00ff00", {924, 300, 200, 100}, QStringLiteral("Green"));
    ASSERT_TRUE(red && green);

    auto x11 = x11::makeX11TunnelWindowSystem(display.toUtf8());
    std::vector<TunnelWindowEntry> list;
    ASSERT_TRUE(waitUntil([&] { list = x11->listWindows(); return find(list, red) && find(list, green); }, 20000));
    EXPECT_EQ(indexOf(list, green), 0);  // mapped last: in front
    EXPECT_EQ(find(list, red)->name, QStringLiteral("Red"));
    EXPECT_TRUE(near(centreOf(find(list, red)->thumbnail), Qt::red));
    const QImage half = find(list, green)->thumbnail;
    ASSERT_EQ(half.size(), QSize(200, 100));
    EXPECT_TRUE(near(half.pixelColor(50, 50), Qt::green));
    EXPECT_TRUE(near(half.pixelColor(150, 50), Qt::black));  // off the screen

    auto picked = std::make_shared<PickedTunnelWindows>(x11);
    picked->pick(red);
    EXPECT_EQ(picked->controlTunnel(red, QRect(300, 350, 240, 120)), TunnelPlacement::Placed);
    EXPECT_TRUE(waitUntil([&] { return other.geometry(red) == QRect(300, 350, 240, 120); }, 10000));
    picked->positionTunnel(red);
    EXPECT_TRUE(waitUntil([&] { return other.geometry(red).topLeft() == QPoint(-1, -1); }, 10000));
    other.close(red);
    EXPECT_EQ(picked->controlTunnel(red, QRect(0, 0, 10, 10)), TunnelPlacement::WindowGone);
    EXPECT_FALSE(picked->windowPicture(red));
}

TEST(X11TunnelWindows, WithoutAnXDisplayThereIsNothingToListAndItSaysWhy) {
    auto none = x11::makeX11TunnelWindowSystem(QByteArrayLiteral(":4093"));
    EXPECT_FALSE(none->unavailableReason().isEmpty());
    EXPECT_TRUE(none->listWindows().empty());
    EXPECT_FALSE(none->windowPicture(1));
    EXPECT_EQ(none->controlTunnel(1, QRect(0, 0, 10, 10)), TunnelPlacement::Ignored);
}
