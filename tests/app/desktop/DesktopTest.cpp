// The real program under a real window manager: every launch opens full screen as the window
// manager sees it (_NET_WM_STATE and the window's place), leaving full screen returns to the normal
// frame, the folder panel comes up in front of the window with the keyboard (also when the stored
// folder no longer works, in both editions) and stays there, and the desktop's keys quit and toggle
// full screen whatever has the focus. A start of either edition removes what a killed run recorded
// and left in the library, and nothing else there.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include "app/desktop/Desktop.h"
#include "support/KilledImport.h"
#include "support/ScopedEnv.h"

using qv::test::Desktop;
using qv::test::eventually;
using qv::test::Launch;

namespace {

constexpr const char* kFullScreen = "_NET_WM_STATE_FULLSCREEN";
const QRect kFirstFrame(320, 140, 1280, 800);  // 1280 x 800 centred on 1920 x 1080

// Each edition keeps its settings in a file of its own name.
QString settingsPath(const QString& configHome, const QString& edition = "quorvane") {
    return configHome + "/Quorvane/" + edition + ".json";
}

QJsonObject readSettings(const QString& configHome, const QString& edition = "quorvane") {
    QFile f(settingsPath(configHome, edition));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

// The stored save folder, as the program keeps its bookmark data.
void storeFolderData(const QString& configHome, const QByteArray& data, const QString& edition = "quorvane") {
    QDir().mkpath(configHome + "/Quorvane");
    QJsonObject s = readSettings(configHome, edition);
    s["bookmark_folder"] = QJsonObject{{"base64", QString::fromLatin1(data.toBase64())}};
    QFile f(settingsPath(configHome, edition));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(s).toJson());
}

void storeFolder(const QString& configHome, const QString& folder) { storeFolderData(configHome, folder.toUtf8()); }

std::optional<QRect> savedFrame(const QString& configHome) {
    const QStringList v = readSettings(configHome).value("window_frame Quorvane").toString().split(' ');
    if (v.size() != 4) return std::nullopt;
    return QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
}

// Both editions: the program, and its settings' name.
const struct {
    const char* name;
    const char* program;
    const char* settings;
} kEditions[] = {{"Vemo", QV_PROGRAM, "quorvane"}, {"Wendle", QV_PROGRAM_WENDLE, "quorvane-wendle"}};

bool isFullScreen(const Desktop& d, const QString& w) {
    const auto g = d.geometry(w);
    return d.wmState(w).contains(kFullScreen) && g && *g == QRect(QPoint(0, 0), d.size());
}

// Out of full screen at the normal frame (the window manager may shift it by its decorations).
bool isNormalAt(const Desktop& d, const QString& w, const QRect& frame) {
    const auto g = d.geometry(w);
    return !d.wmState(w).contains(kFullScreen) && g && g->size() == frame.size() &&
           (g->topLeft() - frame.topLeft()).manhattanLength() <= 48;
}

std::string describe(const Desktop& d, const QString& w) {
    const auto g = d.geometry(w);
    return ("state [" + d.wmState(w).join(' ') + "] frame " +
            (g ? QString("%1,%2 %3x%4").arg(g->x()).arg(g->y()).arg(g->width()).arg(g->height()) : QString("none")))
        .toStdString();
}

// Keys as the teacher types them, into the focused window.
void keys(const Desktop& d, const QString& w, const QString& combination) {
    d.tool("xdotool", {"windowfocus", "--sync", w});
    d.tool("xdotool", {"key", "--clearmodifiers", combination});
}

}  // namespace

TEST(FullScreenOnTheDesktop, TwentyLaunchesOpenFullScreenAndQuittingKeepsTheNormalFrame) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready()) << "no virtual desktop with a window manager";
    QTemporaryDir config, folder;
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE("launch " + std::to_string(i + 1));
        // The first launch has no folder yet; the others find the one stored.
        if (i == 1) storeFolder(config.path(), folder.path());
        Launch launch(desktop, config.path());
        ASSERT_TRUE(launch.started());
        const auto w = launch.waitForWindow();
        ASSERT_TRUE(w) << "no main window";
        EXPECT_TRUE(eventually([&] { return isFullScreen(desktop, *w); }, 30000)) << describe(desktop, *w);
        // Quit as the teacher does: the window manager's Alt+F4 (it closes the window), or Ctrl+Q.
        keys(desktop, *w, i % 2 ? "ctrl+q" : "alt+F4");
        ASSERT_TRUE(launch.waitForExit(30000)) << "the program did not end";
        EXPECT_EQ(launch.process().exitCode(), 0);
        // What is kept is the normal frame, never the full-screen one.
        EXPECT_EQ(savedFrame(config.path()), std::optional<QRect>(kFirstFrame));
        if (i > 0) EXPECT_TRUE(readSettings(config.path()).contains("bookmark_folder"));
    }
}

TEST(FullScreenOnTheDesktop, LeavingReturnsToTheNormalFrameByF11AndEscWhereverTheFocusIs) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready()) << "no virtual desktop with a window manager";
    QTemporaryDir config, folder;
    storeFolder(config.path(), folder.path());
    Launch launch(desktop, config.path());
    const auto w = launch.waitForWindow();
    ASSERT_TRUE(w);
    ASSERT_TRUE(eventually([&] { return isFullScreen(desktop, *w); }, 30000)) << describe(desktop, *w);

    // F11 leaves full screen for the normal frame, and enters it again.
    keys(desktop, *w, "F11");
    EXPECT_TRUE(eventually([&] { return isNormalAt(desktop, *w, kFirstFrame); }, 15000)) << describe(desktop, *w);
    keys(desktop, *w, "F11");
    EXPECT_TRUE(eventually([&] { return isFullScreen(desktop, *w); }, 15000)) << describe(desktop, *w);

    // A click on the picture gives the whiteboard page the keyboard; Esc still leaves full screen.
    desktop.tool("xdotool", {"mousemove", "--sync", "900", "420", "click", "1"});
    QThread::msleep(500);
    keys(desktop, *w, "Escape");
    EXPECT_TRUE(eventually([&] { return isNormalAt(desktop, *w, kFirstFrame); }, 15000)) << describe(desktop, *w);
    // Esc out of full screen does nothing more.
    keys(desktop, *w, "Escape");
    QThread::msleep(800);
    EXPECT_TRUE(isNormalAt(desktop, *w, kFirstFrame)) << describe(desktop, *w);

    // A frame the teacher moved the window to is the one it returns to, and the one kept.
    desktop.tool("xdotool", {"windowmove", "--sync", *w, "200", "120"});
    ASSERT_TRUE(eventually([&] {
        const auto g = desktop.geometry(*w);
        return g && (g->topLeft() - QPoint(200, 120)).manhattanLength() <= 48;
    }, 15000)) << describe(desktop, *w);
    const QRect moved = *desktop.geometry(*w);
    keys(desktop, *w, "F11");
    EXPECT_TRUE(eventually([&] { return isFullScreen(desktop, *w); }, 15000)) << describe(desktop, *w);
    keys(desktop, *w, "F11");
    EXPECT_TRUE(eventually([&] { return isNormalAt(desktop, *w, moved); }, 15000)) << describe(desktop, *w);

    // Ctrl+Q, with the page still holding the keyboard, ends the program as closing it does.
    keys(desktop, *w, "ctrl+q");
    ASSERT_TRUE(launch.waitForExit(30000)) << "Ctrl+Q did not end the program";
    EXPECT_EQ(launch.process().exitCode(), 0);
    const auto saved = savedFrame(config.path());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->size(), moved.size());
    EXPECT_LE((saved->topLeft() - moved.topLeft()).manhattanLength(), 48);
    EXPECT_TRUE(readSettings(config.path()).contains("bookmark_folder"));
}

TEST(FullScreenOnTheDesktop, WithNoWindowManagerTheWindowStillCoversTheScreenAndLeavesIt) {
    // A bare X server: nobody acts on the full-screen state (nor keeps _NET_WM_STATE up to date),
    // so the window has to cover the screen by itself, and come back to its normal frame when full
    // screen is left. What counts is where the window is.
    Desktop desktop({1920, 1080}, Desktop::WindowManager::none);
    ASSERT_TRUE(desktop.ready()) << "no virtual display";
    QTemporaryDir config, folder;
    storeFolder(config.path(), folder.path());
    Launch launch(desktop, config.path());
    const auto w = launch.waitForWindow();
    ASSERT_TRUE(w);
    const auto at = [&](const QRect& frame) { return eventually([&] { return desktop.geometry(*w) == frame; }, 30000); };
    const QRect screen(QPoint(0, 0), desktop.size());
    EXPECT_TRUE(at(screen)) << describe(desktop, *w);
    keys(desktop, *w, "F11");
    EXPECT_TRUE(at(kFirstFrame)) << describe(desktop, *w);
    keys(desktop, *w, "F11");
    EXPECT_TRUE(at(screen)) << describe(desktop, *w);
    keys(desktop, *w, "ctrl+q");
    ASSERT_TRUE(launch.waitForExit(30000)) << "Ctrl+Q did not end the program";
    EXPECT_EQ(savedFrame(config.path()), std::optional<QRect>(kFirstFrame));
}

TEST(FolderPanelOnTheDesktop, StaysAboveTheFullScreenWindowAfterAClickOnThePicture) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready()) << "no virtual desktop with a window manager";
    QTemporaryDir config;
    Launch launch(desktop, config.path());
    const auto w = launch.waitForWindow();
    ASSERT_TRUE(w);
    ASSERT_TRUE(eventually([&] { return isFullScreen(desktop, *w); }, 30000)) << describe(desktop, *w);
    std::optional<QString> panel;
    ASSERT_TRUE(eventually([&] { return (panel = desktop.findWindow("^Please choose a folder")).has_value(); }, 30000))
        << "the folder panel never opened";
    const auto panelFrame = desktop.geometry(*panel);
    ASSERT_TRUE(panelFrame);

    // A click on the camera picture, away from the panel.
    const QPoint away = panelFrame->left() > 200 ? QPoint(100, 300) : QPoint(1800, 300);
    desktop.tool("xdotool", {"mousemove", "--sync", QString::number(away.x()), QString::number(away.y()), "click", "1"});
    QThread::msleep(1000);
    const QStringList order = desktop.stacking();
    EXPECT_TRUE(desktop.findWindow("^Please choose a folder").has_value()) << "the panel is gone";
    EXPECT_GT(order.indexOf(*panel), order.indexOf(*w)) << "the panel fell behind the window: " << order.join(' ').toStdString();
    EXPECT_TRUE(isFullScreen(desktop, *w)) << describe(desktop, *w);
}

TEST(FolderPanelOnTheDesktop, AStoredFolderThatNoLongerWorksIsAskedInFrontInBothEditions) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready()) << "no virtual desktop with a window manager";
    QByteArray deleted;
    {
        QTemporaryDir gone;
        deleted = gone.path().toUtf8();
    }
    const struct {
        const char* name;
        QByteArray data;
    } stored[] = {{"a folder since deleted", deleted}, {"data that cannot be read", QByteArray("\xff\xfe\x00q", 4)}};
    for (const auto& edition : kEditions) {
        for (const auto& value : stored) {
            SCOPED_TRACE(std::string(edition.name) + ", " + value.name);
            QTemporaryDir config;
            storeFolderData(config.path(), value.data, edition.settings);
            Launch launch(desktop, config.path(), edition.program);
            ASSERT_TRUE(launch.started());
            const auto w = launch.waitForWindow();
            ASSERT_TRUE(w) << "no main window";
            std::optional<QString> panel;
            ASSERT_TRUE(eventually([&] { return (panel = desktop.findWindow("^Please choose a folder")).has_value(); }, 30000))
                << "the folder panel never opened";
            // Asked at once, and still in front, with the keyboard, over the full-screen window
            // 8 s after the launch and later.
            for (const qint64 at : {8000, 12000}) {
                QThread::msleep(std::max<qint64>(0, at - launch.sinceStart()));
                const QStringList order = desktop.stacking();
                EXPECT_TRUE(isFullScreen(desktop, *w)) << at << " ms: " << describe(desktop, *w);
                EXPECT_EQ(desktop.activeWindow().toStdString(), panel->toStdString())
                    << at << " ms: the folder panel has not the keyboard";
                EXPECT_EQ(order.value(order.size() - 1).toStdString(), panel->toStdString())
                    << at << " ms: the folder panel is not on top: " << order.join(' ').toStdString() << ", panel " << panel->toStdString();
                EXPECT_EQ(desktop.transientFor(*panel).toStdString(), w->toStdString())
                    << "the panel does not belong to the main window";
            }
            // scripts/screenshots keeps a picture of the screen as the teacher meets it.
            if (const QString dir = qEnvironmentVariable("QV_SCREENSHOT_DIR"); !dir.isEmpty() && value.data == deleted)
                desktop.tool("import", {"-window", "root",
                                        QDir(dir).filePath(QString("folder-question-%1.png").arg(edition.settings))});
            EXPECT_TRUE(launch.output().contains("Bookmark Access Fails: ")) << launch.output().toStdString();
            EXPECT_EQ(desktop.tool("xdotool", {"search", "--onlyvisible", "--name", "^Please choose a folder"}).split('\n').size(), 1)
                << "more than one folder panel";
        }
    }
}

// A start of either edition removes from "~library" what a killed run recorded and left there (a
// copy on its way in, the slides of a presentation being made) and nothing else: the teacher's
// files and folder that merely look like working files stay.
TEST(LeftoversOnTheDesktop, LookAlikesInTheLibrarySurviveAStartOfEitherEdition) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready()) << "no virtual desktop with a window manager";
    const QStringList lookAlikes{".notes.ABC123.part", ".plan.copy-abc123.part",
                                 ".Lesson.slides-abc123/draft.txt", ".photo.png.copy-x9Y8z7.part",
                                 "photo.png"};
    for (const auto& edition : kEditions) {
        SCOPED_TRACE(edition.name);
        QTemporaryDir config, data, temp, save;
        const qv::test::ScopedEnv dataHome("XDG_DATA_HOME", data.path().toUtf8()),
            tmp("TMPDIR", temp.path().toUtf8());
        const QString library = save.filePath("Quorvane/~library");
        ASSERT_TRUE(QDir().mkpath(library));
        for (const QString& name : lookAlikes) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(library + "/" + name).path()));
            QFile f(library + "/" + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
            f.write("the teacher's");
        }
        // The program's own code, killed as it copied a picture and made slides.
        const QStringList killed = qv::test::leaveKilledImport(library);
        ASSERT_EQ(killed.size(), 2);
        storeFolderData(config.path(), save.path().toUtf8(), edition.settings);

        Launch launch(desktop, config.path(), edition.program);
        ASSERT_TRUE(launch.started());
        ASSERT_TRUE(launch.waitForWindow()) << "no main window";
        EXPECT_TRUE(
            eventually([&] { return !QFileInfo::exists(killed[0]) && !QFileInfo::exists(killed[1]); }, 60000))
            << "what the killed run left is still there: " << killed.join(' ').toStdString() << "\nrecords: "
            << QDir(data.filePath("Quorvane/unfinished")).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString()
            << "\nlibrary: " << QDir(library).entryList(QDir::AllEntries | QDir::Hidden).join(' ').toStdString();
        for (const QString& name : lookAlikes) {
            QFile f(library + "/" + name);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly) && f.readAll() == "the teacher's") << name.toStdString();
        }
        // Printed once each, after they went.
        const auto removedLines = [&] {
            return launch.output().split('\n').filter("Removed what an interrupted run left behind:").size();
        };
        EXPECT_TRUE(eventually([&] { return removedLines() == 2; }, 30000)) << launch.output().toStdString();
    }
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
