#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <thread>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"

using namespace qv::app;

namespace {

TEST(NotificationCenter, WorkerPostsArriveOnTheMainThreadInOrder) {
    QObject owner;
    std::vector<int> seen;
    std::vector<QThread*> threads;
    NotificationCenter::defaultCenter().addObserver(&owner, "Test_Order", [&](const Notification& n) {
        seen.push_back(n.userInfo.value("i").toInt());
        threads.push_back(QThread::currentThread());
    });
    std::thread worker([] {
        for (int i = 0; i < 100; ++i) post("Test_Order", {{"i", i}});
    });
    worker.join();
    EXPECT_TRUE(seen.empty()) << "a worker's post must not run observers on the worker";
    ASSERT_TRUE(qv::test::waitUntil([&] { return seen.size() == 100; }));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
    for (QThread* t : threads) EXPECT_EQ(t, qApp->thread());
}

TEST(NotificationCenter, MainThreadPostDeliversAtOnceOnlyToThatName) {
    QObject owner;
    int rotate = 0, mirror = 0;
    QVariantMap got;
    NotificationCenter::defaultCenter().addObserver(&owner, notification::ROTATE_CAMERA, [&](const Notification& n) {
        ++rotate;
        got = n.userInfo;
    });
    NotificationCenter::defaultCenter().addObserver(&owner, notification::Mirror_CAMERA, [&](const Notification&) { ++mirror; });
    post(notification::ROTATE_CAMERA, {{"direction", "left"}});
    EXPECT_EQ(rotate, 1);
    EXPECT_EQ(mirror, 0);
    EXPECT_EQ(got.value("direction").toString(), "left");
}

TEST(NotificationCenter, ObserversGoWithTheirOwnerAndByToken) {
    int calls = 0;
    auto* owner = new QObject;
    NotificationCenter::defaultCenter().addObserver(owner, "Test_Owner", [&](const Notification&) { ++calls; });
    QObject other;
    auto token = NotificationCenter::defaultCenter().addObserver(&other, "Test_Owner", [&](const Notification&) { calls += 10; });
    post("Test_Owner");
    EXPECT_EQ(calls, 11);
    delete owner;
    NotificationCenter::defaultCenter().removeObserver(token);
    post("Test_Owner");
    EXPECT_EQ(calls, 11);
}

TEST(NotificationCenter, AnObserverRemovedDuringDeliveryIsNotCalled) {
    auto* second = new QObject;
    int secondCalls = 0;
    QObject first;
    NotificationCenter::defaultCenter().addObserver(&first, "Test_Remove", [&](const Notification&) { delete second; });
    NotificationCenter::defaultCenter().addObserver(second, "Test_Remove", [&](const Notification&) { ++secondCalls; });
    post("Test_Remove");
    EXPECT_EQ(secondCalls, 0);
}

TEST(NotificationNames, AreTheTwentyOneTextsOfTheBus) {
    // Every text exactly, in the bus's list, once each.
    const char* const expected[] = {
        "ROTATE_CAMERA",   "Mirror_CAMERA",  "Zoomed_CAMERA", "Camera_List_Ready", "OpenPIPCamera",
        "OpenDocCamera",   "VideoRecorded",  "ImageCaptured", "CameraStarted",     "ChangeArchive",
        "HIDConnected",    "HIDDisconnected", "HIDButtonClicked", "OpenSideBySide", "OpenBrowser",
        "HideArchiveList", "OpenTunnelList", "OpenGifGenerator", "OpenFiles",      "OpenKestrixConfig",
        "showLoadingMarrowPanel",
    };
    ASSERT_EQ(std::size(notification::all), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_STREQ(notification::all[i], expected[i]) << i;
    const char* const named[] = {
        notification::ROTATE_CAMERA,   notification::Mirror_CAMERA,    notification::Zoomed_CAMERA,
        notification::Camera_List_Ready, notification::OpenPIPCamera,  notification::OpenDocCamera,
        notification::VideoRecorded,   notification::ImageCaptured,    notification::CameraStarted,
        notification::ChangeArchive,   notification::HIDConnected,     notification::HIDDisconnected,
        notification::HIDButtonClicked, notification::OpenSideBySide,  notification::OpenBrowser,
        notification::HideArchiveList, notification::OpenTunnelList,   notification::OpenGifGenerator,
        notification::OpenFiles,       notification::OpenKestrixConfig, notification::showLoadingMarrowPanel,
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_STREQ(named[i], expected[i]) << i;
}

TEST(AppState, ResolutionTextSetsTheFlags) {
    struct Case {
        const char* text;
        bool is1080, is4K;
    } cases[] = {{"1080P@30fps", true, false}, {"4K@30fps", false, true}, {"720P@30fps", false, false},
                 {"whatever", false, false},    {"4K1080", true, false}};
    for (const auto& c : cases) {
        applyResolution(c.text);
        EXPECT_EQ(globalResolution, c.text);
        EXPECT_EQ(isResolution1080, c.is1080) << c.text;
        EXPECT_EQ(isResolution4K, c.is4K) << c.text;
    }
    applyResolution("1080P@30fps");
}

TEST(AppState, FolderLocationsAreOneSnapshotReadableFromAnyThread) {
    setFolderLocations(std::make_shared<FolderLocations>(FolderLocations::forSaveFolder("/tmp/a/")));
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop) {
            auto f = folderLocations();
            if (f && !f->imagesFolderURL.startsWith(f->rootFolderURL)) ++torn;
        }
    });
    for (int i = 0; i < 2000; ++i)
        setFolderLocations(std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(i % 2 ? "/tmp/a" : "/tmp/bb")));
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    auto f = folderLocations();
    EXPECT_EQ(f->rootFolderURL, "/tmp/a/Quorvane");
    EXPECT_EQ(f->templatesFolderURL, "/tmp/a/Quorvane/~templates");
    setFolderLocations(nullptr);
}

}  // namespace
