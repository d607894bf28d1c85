#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <functional>

#include "app/AppDelegate.h"
#include "app/DesktopKeys.h"
#include "app/MainWindow.h"
#include "app/RecordingRecovery.h"
#include "app/SaveFolderBookmark.h"
#include "app/Settings.h"
#include "capture/gst/MovieRecovery.h"
#include "state/AppState.h"
#include "state/Failures.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/KilledImport.h"
#include "support/QtWait.h"
#include "support/ScopedEnv.h"

using namespace qv::app;

namespace {

// A delegate over a settings file of its own, with the panels it opens collected.
struct Launch {
    QTemporaryDir dir;
    QString settingsPath = dir.filePath("settings.json");
    std::vector<QPointer<QFileDialog>> panels;

    std::unique_ptr<AppDelegate> make() {
        auto delegate = std::make_unique<AppDelegate>(openSettingsFile(settingsPath));
        // No fixed port and no network: an ephemeral port and a feed nobody answers.
        delegate->setLaunchOptions({0, QUrl("http://127.0.0.1:9/quorvaneupdate.xml")});
        QObject::connect(delegate.get(), &AppDelegate::saveFolderPanelShown,
                         [this](QFileDialog* p) { panels.emplace_back(p); });
        return delegate;
    }
    void store(const QString& key, const QVariant& value) {
        auto s = openSettingsFile(settingsPath);
        s->setValue(key, value);
        s->sync();
    }
    ~Launch() {
        for (auto& p : panels)
            if (p) delete p.data();
    }
};

void resetState() {
    globalOfflineMode = false;
    applyResolution("1080P@30fps");
    setFolderLocations(nullptr);
}

TEST(RestoreSettings, ValuesOfEachKindAndType) {
    QTemporaryDir saveFolder;
    const QString canonical = QFileInfo(saveFolder.path()).canonicalFilePath();
    struct Case {
        const char* name;
        QVariant offline, resolution, folder;
        std::string output;
        bool offlineAfter;
        const char* resolutionAfter;
        bool is1080, is4K;
        int panelsAtOnce;
        bool folderUsed;
    } cases[] = {
        {"nothing stored", {}, {}, {}, "No Access yet\n", false, "1080P@30fps", true, false, 0, false},
        {"values of the wrong type", QVariant("true"), QVariant(720), QVariant("not data"), "No Access yet\n", false,
         "1080P@30fps", true, false, 0, false},
        {"4K and offline", true, "4K@30fps", {}, "offlineMode:  true\nResolution:  4K@30fps\nNo Access yet\n", true,
         "4K@30fps", false, true, 0, false},
        {"720", false, "720P@30fps", {}, "offlineMode:  false\nResolution:  720P@30fps\nNo Access yet\n", false,
         "720P@30fps", false, false, 0, false},
        {"folder gone", {}, {}, QByteArray("/nonexistent/quorvane-test"),
         "Bookmark Access Fails: The folder \"/nonexistent/quorvane-test\" doesn't exist.\n", false, "1080P@30fps",
         true, false, 1, false},
        {"damaged data", {}, {}, QByteArray("relative/path"),
         "Bookmark Access Fails: The bookmark data isn't in the correct format.\n", false, "1080P@30fps", true, false,
         1, false},
        {"folder ok", {}, "1080P@30fps", canonical.toUtf8(),
         "Resolution:  1080P@30fps\nRead Permission Root: file://" + canonical.toStdString() + "/\nInit Global: \n",
         false,
         "1080P@30fps", true, false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetState();
        Launch launch;
        if (c.offline.isValid()) launch.store("bookmark_offline", c.offline);
        if (c.resolution.isValid()) launch.store("bookmark_resolution", c.resolution);
        if (c.folder.isValid()) launch.store("bookmark_folder", c.folder);
        auto delegate = launch.make();
        testing::internal::CaptureStdout();
        delegate->restoreSettings();
        const std::string out = testing::internal::GetCapturedStdout();
        // A usable folder goes on to set up the folder (its own lines follow).
        EXPECT_EQ(c.folderUsed ? out.substr(0, c.output.size()) : out, c.output);
        EXPECT_EQ(globalOfflineMode, c.offlineAfter);
        EXPECT_EQ(globalResolution, c.resolutionAfter);
        EXPECT_EQ(isResolution1080, c.is1080);
        EXPECT_EQ(isResolution4K, c.is4K);
        EXPECT_EQ(launch.panels.size(), static_cast<size_t>(c.panelsAtOnce));
        auto folders = folderLocations();
        EXPECT_EQ(folders != nullptr, c.folderUsed);
        if (c.folderUsed) {
            for (const char* sub : {"images", "videos", "~library", "~templates", "~bookmark"})
                EXPECT_TRUE(QFileInfo(canonical + "/Quorvane/" + sub).isDir()) << sub;
        }
    }
    resetState();
}

TEST(RestoreSettings, StaleBookmarkIsNotUsed) {
    resetState();
    QTemporaryDir root;
    QDir(root.path()).mkdir("real");
    const QString stored = root.filePath("link");
    ASSERT_TRUE(QFile::link(root.filePath("real"), stored));
    Launch launch;
    launch.store("bookmark_folder", stored.toUtf8());
    auto delegate = launch.make();
    testing::internal::CaptureStdout();
    delegate->restoreSettings();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Bookmark Access isSlate\n");
    EXPECT_EQ(launch.panels.size(), 1u);
    EXPECT_EQ(folderLocations(), nullptr);
}

TEST(Launch, FirstLaunchOpensTheFullScreenWindowAndAsksForAFolderLater) {
    resetState();
    Launch launch;
    auto delegate = launch.make();
    QElapsedTimer sinceLaunch;
    qint64 panelAfterMs = -1;
    QObject::connect(delegate.get(), &AppDelegate::saveFolderPanelShown,
                     [&](QFileDialog*) { panelAfterMs = sinceLaunch.elapsed(); });
    testing::internal::CaptureStdout();
    sinceLaunch.start();
    delegate->applicationDidFinishLaunching();
    // The archive list finds no save folder yet when it appears; the control bar's appearance
    // step reports the offline mode when the window shows it.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No Access yet\nNO Archive Library yet\nOfflineMode: false\n");
    ASSERT_NE(delegate->window(), nullptr);
    EXPECT_TRUE(delegate->window()->windowState() & Qt::WindowFullScreen);
    EXPECT_EQ(delegate->window()->windowTitle(), "Quorvane");
    ASSERT_TRUE(qv::test::waitUntil([&] { return launch.panels.size() == 1; }, 10000));
    // The panel waits about 3 s (timers may fire a few percent early, never much earlier).
    EXPECT_GE(panelAfterMs, 2800) << "the folder panel opened without waiting";
    EXPECT_TRUE(launch.panels[0]->isVisible());

    // Choosing a folder in the panel stores it and sets the folder up.
    QTemporaryDir chosen;
    testing::internal::CaptureStdout();
    launch.panels[0]->fileSelected(chosen.path());
    const QString canonical = QFileInfo(chosen.path()).canonicalFilePath();
    const std::string chosenOutput = testing::internal::GetCapturedStdout();
    EXPECT_EQ(chosenOutput.substr(0, chosenOutput.find('\n') + 1),
              "Save Permission Root: " + canonical.toStdString() + "\n");
    ASSERT_NE(folderLocations(), nullptr);
    EXPECT_EQ(folderLocations()->rootFolderURL, canonical + "/Quorvane");
    EXPECT_EQ(openSettingsFile(launch.settingsPath)->value("bookmark_folder").toByteArray(), canonical.toUtf8());

    // "ChangeArchive" asks again; cancelling that panel changes nothing.
    post(notification::ChangeArchive);
    ASSERT_EQ(launch.panels.size(), 2u);
    launch.panels[1]->reject();
    EXPECT_EQ(folderLocations()->rootFolderURL, canonical + "/Quorvane");
    resetState();
}

TEST(Launch, TheFolderIsAskedInFrontOfTheWindowFromTheHomeFolderOnEveryRoad) {
    resetState();
    // Started from some other folder than the home folder.
    const QString startedIn = QDir::currentPath();
    QTemporaryDir elsewhere, browsed;
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    Launch launch;
    launch.store("bookmark_folder", QByteArray("/nonexistent/quorvane-test"));
    auto delegate = launch.make();
    testing::internal::CaptureStdout();
    delegate->applicationDidFinishLaunching();
    testing::internal::GetCapturedStdout();
    const auto inFront = [&](QFileDialog* panel) {
        return panel && panel->isVisible() && panel->windowHandle() &&
               panel->windowHandle()->transientParent() == delegate->window()->windowHandle();
    };

    // The stored folder is gone: asked at once, as a dialog of the full-screen window.
    ASSERT_EQ(launch.panels.size(), 1u);
    EXPECT_TRUE(inFront(launch.panels[0]));
    EXPECT_EQ(launch.panels[0]->directory().absolutePath().toStdString(), QDir::homePath().toStdString());

    // "Change" while it is open: a second one, in front as well; the first stays.
    post(notification::ChangeArchive);
    ASSERT_EQ(launch.panels.size(), 2u);
    EXPECT_TRUE(inFront(launch.panels[1]));
    EXPECT_TRUE(inFront(launch.panels[0]));

    // The next one opens where the teacher last looked.
    launch.panels[1]->setDirectory(browsed.path());
    launch.panels[1]->reject();
    post(notification::ChangeArchive);
    ASSERT_EQ(launch.panels.size(), 3u);
    EXPECT_TRUE(inFront(launch.panels[2]));
    EXPECT_EQ(launch.panels[2]->directory().absolutePath().toStdString(),
              QDir(browsed.path()).absolutePath().toStdString());
    ASSERT_TRUE(QDir::setCurrent(startedIn));
    resetState();
}

TEST(StoreSaveFolder, AFolderThatCannotBeBookmarkedIsDropped) {
    resetState();
    Launch launch;
    auto delegate = launch.make();
    testing::internal::CaptureStdout();
    delegate->storeSaveFolder("/nonexistent/quorvane-folder");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error storing bookmarks\n");
    EXPECT_FALSE(openSettingsFile(launch.settingsPath)->contains("bookmark_folder"));
    EXPECT_EQ(folderLocations(), nullptr);
}

TEST(Settings, AnUnreadableFileIsKeptAsideSaidOnceAndTheFolderAskedForOnce) {
    const QByteArray truncated = "{\n    \"bookmark_folder\": {\n        \"base64\": \"L3RtcC9mb2xk";
    struct Case {
        const char* name;
        std::function<void(const QString& path)> make;
        std::function<void(const QString& aside)> check;
    } cases[] = {
        {"cut short", [&](const QString& path) {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(truncated);
         },
         [&](const QString& aside) {
             QFile f(aside);
             ASSERT_TRUE(f.open(QIODevice::ReadOnly));
             EXPECT_EQ(f.readAll(), truncated) << "the unreadable file was changed";
         }},
        {"a folder in its place", [](const QString& path) { ASSERT_TRUE(QDir().mkpath(path + "/inside")); },
         [](const QString& aside) { EXPECT_TRUE(QFileInfo(aside + "/inside").isDir()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetState();
        Launch launch;
        c.make(launch.settingsPath);
        std::vector<QString> shown;
        setFailureDisplay([&](const QString& text) { shown.push_back(text); });
        testing::internal::CaptureStdout();
        auto delegate = launch.make();
        delegate->restoreSettings();
        ASSERT_TRUE(qv::test::waitUntil([&] { return launch.panels.size() == 1; }, 10000));
        qv::test::spin(300);
        const std::string printed = testing::internal::GetCapturedStdout();

        // Moved aside under a name with the time, said once (printed and shown), never written over.
        const QStringList aside = QDir(launch.dir.path()).entryList({"settings.json.unreadable-*"});
        ASSERT_EQ(aside.size(), 1) << aside.join(' ').toStdString();
        EXPECT_TRUE(QRegularExpression("^settings\\.json\\.unreadable-\\d{8}-\\d{6}$").match(aside[0]).hasMatch())
            << aside[0].toStdString();
        const QString asidePath = launch.dir.filePath(aside[0]);
        c.check(asidePath);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].contains(asidePath)) << shown[0].toStdString();
        EXPECT_EQ(QString::fromStdString(printed).count("could not be read"), 1) << printed;
        EXPECT_NE(printed.find("No Access yet"), std::string::npos) << printed;
        EXPECT_EQ(launch.panels.size(), 1u) << "the folder is asked for once";

        // The folder chosen now is kept in a new settings file; the old one stays as it was.
        QTemporaryDir chosen;
        launch.panels[0]->fileSelected(chosen.path());
        EXPECT_EQ(openSettingsFile(launch.settingsPath)->value("bookmark_folder").toByteArray(),
                  QFileInfo(chosen.path()).canonicalFilePath().toUtf8());
        c.check(asidePath);
        EXPECT_EQ(shown.size(), 1u);
        setFailureDisplay({});
    }
    resetState();
}

TEST(Settings, AWriteThatFailsIsPrintedEachTimeAndShownOnceARun) {
    resetState();
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // Settings nothing can be written to: their folder is a file, or one the kernel keeps
    // read-only (whoever runs the test).
    for (const QString& path : {dir.filePath("not-a-folder/settings.json"), QStringLiteral("/sys/kernel/settings.json")}) {
        SCOPED_TRACE(path.toStdString());
        std::vector<QString> shown;
        setFailureDisplay([&](const QString& text) { shown.push_back(text); });
        testing::internal::CaptureStdout();
        // A launch that stores the chosen folder, a second choice, and a change made elsewhere.
        AppDelegate delegate(openSettingsFile(path));
        delegate.setLaunchOptions({0, QUrl("http://127.0.0.1:9/quorvaneupdate.xml")});
        QTemporaryDir chosen;
        delegate.storeSaveFolder(chosen.path());
        delegate.storeSaveFolder(chosen.path());
        auto elsewhere = openSettingsFile(path);
        elsewhere->setValue("bookmark_offline", true);
        EXPECT_FALSE(syncSettings(*elsewhere));
        const QString printed = QString::fromStdString(testing::internal::GetCapturedStdout());
        setFailureDisplay({});
        const QString line = "Failed writing settings: " + path + " the file cannot be written";
        EXPECT_EQ(printed.split('\n').filter("Failed writing settings:"), QStringList({line, line, line}))
            << printed.toStdString();
        ASSERT_EQ(shown.size(), 1u) << "the window says it once";
        EXPECT_EQ(shown[0], "Failed writing settings:\n" + path + "\nthe file cannot be written");
    }
    resetState();
}

// A run killed while it imported or converted left working files behind; choosing the folder
// (as every start with a stored folder does) removes them, found through the records that run
// wrote, and nothing else: the teacher's files and folder that look like working files stay.
TEST(StoreSaveFolder, WhatAKilledRunLeftInTheLibraryIsRemoved) {
    resetState();
    QTemporaryDir chosen, temp, data;
    const qv::test::ScopedEnv tmp("TMPDIR", temp.path().toUtf8()), dataHome("XDG_DATA_HOME", data.path().toUtf8());
    const QString library = FolderLocations::forSaveFolder(chosen.path()).libraryFolderURL;
    ASSERT_TRUE(QDir().mkpath(library + "/.Lesson.slides-abc123"));
    const QStringList kept{".notes.ABC123.part", ".plan.copy-abc123.part", ".Lesson.slides-abc123/draft.txt",
                           "photo.png"};
    for (const QString& name : kept) {
        QFile f(library + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
    }
    const QStringList killed = qv::test::leaveKilledImport(library);
    ASSERT_EQ(killed.size(), 2);
    Launch launch;
    auto delegate = launch.make();
    delegate->storeSaveFolder(chosen.path());
    EXPECT_TRUE(qv::test::waitUntil(
        [&] { return !QFileInfo::exists(killed[0]) && !QFileInfo::exists(killed[1]); }, 10000));
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(library + "/" + name)) << name.toStdString();
    delegate.reset();
    resetState();
}

// A recording killed before its first picture left an empty movie: the start removes it and says
// so in the window, by the movie's name, and keeps the teacher's own empty movie.
TEST(RecordingRecovery, AMovieKilledBeforeItsFirstPictureIsRemovedAndSaidInTheWindow) {
    QTemporaryDir videos, data;
    const qv::test::ScopedEnv dataHome("XDG_DATA_HOME", data.path().toUtf8());
    const QStringList killed = qv::test::runAndKill([&](const qv::test::KillNow& killNow) {
        QString error;
        const auto movie = qv::gst::MovieFileLock::createLocked(videos.filePath("Lesson 3.mp4"), &error);
        if (movie) killNow({videos.filePath("Lesson 3.mp4")});
    });
    ASSERT_EQ(killed.size(), 1);
    ASSERT_TRUE(QFile(videos.filePath("mine.mp4")).open(QIODevice::WriteOnly));
    QWidget window;
    recoverInterruptedRecordings(videos.path(), [&] { return &window; });
    QPointer<QMessageBox> box;
    ASSERT_TRUE(
        qv::test::waitUntil([&] { return (box = window.findChild<QMessageBox*>()) != nullptr; }, 20000))
        << "nothing was said";
    EXPECT_TRUE(box->text().contains("interrupted before their first picture")) << box->text().toStdString();
    EXPECT_TRUE(box->text().contains("Lesson 3.mp4")) << box->text().toStdString();
    EXPECT_FALSE(QFileInfo::exists(killed[0]));
    EXPECT_TRUE(QFileInfo::exists(videos.filePath("mine.mp4")));
    delete box.data();
}

TEST(Settings, KeepTheTypeOfEachValue) {
    QTemporaryDir dir;
    {
        auto s = openSettingsFile(dir.filePath("s.json"));
        s->setValue("b", true);
        s->setValue("t", "true");
        s->setValue("d", QByteArray("\x00\xff/x", 4));
    }
    auto s = openSettingsFile(dir.filePath("s.json"));
    EXPECT_EQ(s->value("b").typeId(), QMetaType::Bool);
    EXPECT_EQ(s->value("t").typeId(), QMetaType::QString);
    EXPECT_EQ(s->value("d").typeId(), QMetaType::QByteArray);
    EXPECT_EQ(s->value("d").toByteArray(), QByteArray("\x00\xff/x", 4));
}

}  // namespace

namespace {

TEST(DesktopKeys, F11CtrlQAndEscWhereTheyBelong) {
    auto* content = new QWidget;
    auto* field = new QLineEdit(content);
    auto* plain = new QPushButton("plain", content);
    plain->move(0, 40);
    QPointer<MainWindow> window = new MainWindow(content, nullptr, QString());
    window->setQuitOnClose(false);
    window->setNormalFrame(QRect(100, 100, 640, 400));
    window->openFullScreen();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    DesktopKeys keys(window);

    // F11 from any widget turns full screen off and on; the normal frame comes back.
    QTest::keyClick(plain, Qt::Key_F11);
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_TRUE(qv::test::waitUntil([&] { return window->geometry().size() == QSize(640, 400); }, 5000))
        << window->geometry().width() << "x" << window->geometry().height();
    QTest::keyClick(field, Qt::Key_F11);
    EXPECT_TRUE(window->isFullScreen());

    // Esc: a text field being edited keeps it; anywhere else it leaves full screen.
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(window->isFullScreen());
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_Escape);
    EXPECT_FALSE(window->isFullScreen());
    QTest::keyClick(plain, Qt::Key_F11);
    ASSERT_TRUE(window->isFullScreen());

    // A popover with the keyboard keeps Esc for itself.
    auto* popover = new QWidget(window, Qt::Popup);  // the window's own, as the bar's popovers are
    popover->resize(100, 50);
    popover->show();
    QTest::keyClick(popover, Qt::Key_Escape);
    EXPECT_TRUE(window->isFullScreen());
    popover->hide();

    // Ctrl+Q closes the window, the same way out as its close button.
    QTest::keyClick(plain, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(qv::test::waitUntil([&] { return window.isNull(); }, 5000)) << "Ctrl+Q did not close the window";
}

}  // namespace
