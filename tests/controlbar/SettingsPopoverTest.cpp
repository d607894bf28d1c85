// The Settings popover: pickers that leave the current choice alone, resolution flags and what
// is stored on every change, the "Pair" rule, the version line, the update badge, and the
// popover's rows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/FakeCamera.h"
#include "controlbar/Popover.h"
#include "controlbar/QVImageButton.h"
#include "support/QtWait.h"

using namespace qv::controlbar;
namespace nt = qv::app::notification;

namespace {

std::string captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

struct Settings : ::testing::Test {
    qv::test::FakeCamera camera;
    bool hasCamera = true;
    std::vector<QString> storedResolutions;
    std::vector<bool> storedOffline;
    std::unique_ptr<ControlBarView> view;

    void SetUp() override {
        qv::app::applyResolution(QStringLiteral("1080P@30fps"));
        qv::app::updateAvailable = false;
        qv::app::setFolderLocations(nullptr);
        camera.cameraList = {"Quorvane Pimlet V5", "Plain USB Webcam", "Kestrix Wireless"};
        camera.micList = {"Synthetic Room Mic", "Synthetic Line In"};
        camera.currentCamera = 0;
        camera.currentMic = 0;
        view = std::make_unique<ControlBarView>([this]() -> CameraPort* { return hasCamera ? &camera : nullptr; });
        model().setResolutionStore([this](const QString& r) { storedResolutions.push_back(r); });
        model().setOfflineModeStore([this](bool v) { storedOffline.push_back(v); });
    }
    void TearDown() override {
        view.reset();
        qv::app::updateAvailable = false;
        qv::app::applyResolution(QStringLiteral("1080P@30fps"));
        qv::app::setFolderLocations(nullptr);
    }
    ControlBarModel& model() { return view->model(); }

    Popover* openSettings() {
        view->show();
        model().showPopoverSettings = true;
        emit model().changed();
        Popover* p = view->popover("Settings");
        EXPECT_TRUE(qv::test::waitUntil([&] { return p->isVisible(); }));
        return p;
    }
    template <typename T>
    T* shown(const char* name) {
        Popover* popover = view->popover("Settings");
        for (T* w : popover->findChildren<T*>(name))
            if (w->isVisibleTo(popover)) return w;
        return nullptr;
    }
};

TEST_F(Settings, ChoosingTheCurrentCameraOrMicrophoneDoesNothing) {
    std::string out = captured([&] { model().selectCamera(0); });
    EXPECT_EQ(out.find("Camera changed"), std::string::npos);
    EXPECT_TRUE(camera.camerasUsed.empty());
    EXPECT_EQ(camera.reconfigures, 0);

    out = captured([&] { model().selectCamera(1); });
    EXPECT_NE(out.find("Camera changed \n"), std::string::npos);
    EXPECT_EQ(camera.camerasUsed, std::vector<int>{1});
    EXPECT_EQ(camera.reconfigures, 1);
    EXPECT_EQ(model().selectedCameraIndex, 1);

    out = captured([&] { model().selectMicrophone(0); });
    EXPECT_EQ(out.find("Mic changed"), std::string::npos);
    out = captured([&] { model().selectMicrophone(1); });
    EXPECT_NE(out.find("Mic changed \n"), std::string::npos);
    EXPECT_EQ(camera.micsUsed, std::vector<int>{1});
    EXPECT_EQ(camera.reconfigures, 2);

    // An index outside the list and a missing controller change nothing.
    model().selectCamera(7);
    hasCamera = false;
    model().selectCamera(2);
    model().selectMicrophone(0);
    EXPECT_EQ(camera.camerasUsed, std::vector<int>{1});
    EXPECT_EQ(camera.reconfigures, 2);
}

TEST_F(Settings, AuxCameraIsOnlyRecorded) {
    const std::string out = captured([&] { model().selectAuxCamera(2); });
    EXPECT_EQ(camera.pipCamera, 2);
    EXPECT_EQ(camera.reconfigures, 0);
    EXPECT_TRUE(out.empty()) << out;
    EXPECT_EQ(model().selectedPipCameraIndex, 2);
}

TEST_F(Settings, ResolutionFlagsAndStoredChoiceOnEveryChange) {
    struct Case {
        const char* choice;
        bool is1080;
        bool is4K;
        bool changes;
    } cases[] = {
        {"4K@30fps", false, true, true},
        {"4K@30fps", false, true, false},  // the current one: nothing at all
        {"720P@30fps", false, false, true},
        {"1080P@30fps", true, false, true},
        {"1080P@30fps", true, false, false},
    };
    int reconfigures = 0;
    std::vector<QString> expectedStored;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        model().selectResolution(c.choice);
        if (c.changes) {
            ++reconfigures;
            expectedStored.push_back(c.choice);
        }
        EXPECT_EQ(qv::app::globalResolution, c.choice);
        EXPECT_EQ(qv::app::isResolution1080, c.is1080);
        EXPECT_EQ(qv::app::isResolution4K, c.is4K);
        EXPECT_EQ(camera.reconfigures, reconfigures);
        EXPECT_EQ(storedResolutions, expectedStored);
    }
    // Without a controller the choice is still kept and stored.
    hasCamera = false;
    model().selectResolution("720P@30fps");
    EXPECT_EQ(storedResolutions.back(), "720P@30fps");
    EXPECT_FALSE(qv::app::isResolution1080);
}

TEST_F(Settings, OfflineModeIsStoredAndPrintedOnEveryAssignment) {
    std::string out = captured([&] { model().setOfflineMode(true); });
    EXPECT_NE(out.find("OfflineMode: true\n"), std::string::npos);
    EXPECT_TRUE(qv::app::globalOfflineMode);
    out = captured([&] { model().setOfflineMode(true); });
    EXPECT_NE(out.find("OfflineMode: true\n"), std::string::npos) << "the same value is assigned again";
    model().setOfflineMode(false);
    EXPECT_EQ(storedOffline, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(qv::app::globalOfflineMode);
}

TEST_F(Settings, PairIsOfferedOnlyForKestrixInThisCapitalisation) {
    struct Case {
        QString name;
        bool pair;
    } cases[] = {
        {"Kestrix Wireless", true}, {"USB Kestrix", true}, {"MyKestrixCam", true},
        {"kestrix wireless", false}, {"KESTRIX", false},   {"Plain USB Webcam", false},
    };
    for (const Case& c : cases) {
        camera.cameraList = {c.name};
        camera.currentCamera = 0;
        EXPECT_EQ(model().showsPairButton(), c.pair) << c.name.toStdString();
    }
    camera.currentCamera = -1;
    EXPECT_FALSE(model().showsPairButton()) << "no current camera";
    hasCamera = false;
    EXPECT_FALSE(model().showsPairButton()) << "no controller";
}

TEST_F(Settings, VersionTextJoinsVersionAndBuild) {
    EXPECT_EQ(versionText("2.1.0", "215"), "2.1.0(215)");
    model().appVersion = "2.1.0";
    model().buildVersion = "215";
    openSettings();
    EXPECT_EQ(shown<QLabel>("versionText")->text(), "2.1.0(215)");
    EXPECT_EQ(shown<QLabel>("updateStatus")->text(), QString::fromUtf8("✔︎ Up to date."));
    EXPECT_EQ(shown<QPushButton>("Update"), nullptr);
}

TEST_F(Settings, BadgeAndUpdateButtonWhileAnUpdateWaits) {
    view->show();
    EXPECT_EQ(view->updateBadge(), nullptr);
    qv::app::updateAvailable = true;
    emit model().changed();  // the next redraw of the bar
    ASSERT_NE(view->updateBadge(), nullptr);
    EXPECT_TRUE(view->updateBadge()->isVisible());
    EXPECT_TRUE(view->updateBadge()->testAttribute(Qt::WA_TransparentForMouseEvents)) << "a click reaches the button";
    // A click on the badge's corner opens the popover all the same.
    QWidget* settingsButton = view->button("toolbar_settings");
    QTest::mouseClick(settingsButton, Qt::LeftButton, {}, QPoint(settingsButton->width() - 3, 3));
    ASSERT_TRUE(qv::test::waitUntil([&] { return view->popover("Settings")->isVisible(); }));
    EXPECT_EQ(shown<QLabel>("updateStatus")->text(), QString::fromUtf8("✹ New version available."));
    EXPECT_NE(shown<QPushButton>("Update"), nullptr);
    qv::app::updateAvailable = false;
    model().showPopoverSettings = false;
    emit model().changed();
    EXPECT_EQ(view->updateBadge(), nullptr);
}

TEST_F(Settings, PickersShowTheListsAndTheirChoices) {
    openSettings();
    QComboBox* main = shown<QComboBox>("mainCameraPicker");
    QComboBox* aux = shown<QComboBox>("auxCameraPicker");
    QComboBox* mic = shown<QComboBox>("microphonePicker");
    QComboBox* resolution = shown<QComboBox>("resolutionPicker");
    ASSERT_TRUE(main && aux && mic && resolution);
    EXPECT_EQ(main->count(), 3);
    EXPECT_EQ(main->itemText(1), "Plain USB Webcam");
    EXPECT_EQ(main->currentIndex(), 0) << "the controller's starting camera";
    EXPECT_EQ(aux->currentIndex(), 1) << "the second camera";
    EXPECT_EQ(mic->itemText(1), "Synthetic Line In");
    EXPECT_EQ(resolution->currentText(), "1080P@30fps");
    QStringList entries;
    for (int i = 0; i < resolution->count(); ++i) entries << resolution->itemText(i);
    EXPECT_EQ(entries, (QStringList{"4K@30fps", "1080P@30fps", "720P@30fps"}));

    // A choice in the picker reaches the handler; the popover stays open.
    emit main->activated(1);
    EXPECT_EQ(camera.camerasUsed, std::vector<int>{1});
    emit resolution->textActivated("4K@30fps");
    EXPECT_TRUE(qv::app::isResolution4K);
    qv::test::spin(10);
    EXPECT_TRUE(view->popover("Settings")->isVisible());
    EXPECT_EQ(shown<QComboBox>("mainCameraPicker")->currentIndex(), 1);

    // One camera only: no "Aux Camera:" row.
    model().toggleModel.allowPIP = false;
    emit model().changed();
    qv::test::spin(10);
    EXPECT_EQ(shown<QComboBox>("auxCameraPicker"), nullptr);

    auto* offline = shown<QCheckBox>("offlineMode");
    ASSERT_NE(offline, nullptr);
    offline->click();
    EXPECT_EQ(storedOffline.back(), true);
}

TEST_F(Settings, ChangeAndPairPostAndClose) {
    QObject owner;
    std::vector<QString> posted;
    for (const char* name : {nt::ChangeArchive, nt::OpenKestrixConfig})
        qv::app::NotificationCenter::defaultCenter().addObserver(&owner, name, [&](const qv::app::Notification& n) {
            posted.push_back(n.name);
        });
    openSettings();
    EXPECT_EQ(shown<QPushButton>("Pair"), nullptr) << "the current camera is no Kestrix";
    shown<QPushButton>("Change")->click();
    EXPECT_EQ(posted, std::vector<QString>{nt::ChangeArchive});
    EXPECT_FALSE(model().showPopoverSettings);
    ASSERT_TRUE(qv::test::waitUntil([&] { return !view->popover("Settings")->isVisible(); }));

    camera.currentCamera = 2;  // "Kestrix Wireless"
    openSettings();
    ASSERT_NE(shown<QPushButton>("Pair"), nullptr);
    shown<QPushButton>("Pair")->click();
    EXPECT_EQ(posted.back(), nt::OpenKestrixConfig);
    EXPECT_FALSE(model().showPopoverSettings);
}

TEST_F(Settings, StaysClearOfTheBarWhenPairAppearsAndItsRowsReachItsEdges) {
    view->move(200, 600);  // room above the bar for the popover
    Popover* popover = openSettings();
    ASSERT_EQ(shown<QPushButton>("Pair"), nullptr);
    const auto barTop = [&] { return view->bar()->mapToGlobal(QPoint(0, 0)).y(); };
    ASSERT_LT(popover->frameGeometry().bottom(), barTop());
    const int heightBefore = popover->height();

    // The Kestrix camera chosen while the popover is open: "Pair" joins its row.
    emit shown<QComboBox>("mainCameraPicker")->activated(2);
    emit model().changed();
    ASSERT_TRUE(qv::test::waitUntil([&] { return shown<QPushButton>("Pair") != nullptr; }));
    qv::test::spin(20);
    EXPECT_GT(popover->height(), heightBefore) << "the row with \"Pair\" is taller";
    EXPECT_LT(popover->frameGeometry().bottom(), barTop())
        << "the popover's bottom " << popover->frameGeometry().bottom() << " covers the bar at " << barTop();
    EXPECT_TRUE(popover->isVisible());
    // scripts/screenshots keeps a picture of the popover with "Pair" over the bar.
    if (const QString dir = qEnvironmentVariable("QV_SCREENSHOT_DIR"); !dir.isEmpty()) {
        const QRect both = popover->frameGeometry() | QRect(view->mapToGlobal(QPoint(0, 0)), view->size());
        QGuiApplication::primaryScreen()
            ->grabWindow(0, both.x(), both.y(), both.width(), both.height())
            .save(QDir(dir).filePath("settings-pair-above-bar.png"));
    }

    // No room around the rows: the labels' column starts at the popover's left edge, and the
    // column fills it from top to bottom.
    for (const char* text : {"Version:", "Main Camera:", "Offline Mode:"}) {
        QLabel* label = nullptr;
        for (QLabel* l : popover->findChildren<QLabel*>())
            if (l->text() == text && l->isVisibleTo(popover)) label = l;
        ASSERT_NE(label, nullptr) << text;
        EXPECT_EQ(label->mapTo(popover, QPoint(0, 0)).x(), 0) << text;
    }
    QRect rows;
    for (QWidget* w : popover->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(popover)) rows |= w->geometry();
    EXPECT_EQ(rows.top(), 0);
    EXPECT_EQ(rows.bottom(), popover->height() - 1);
}

TEST_F(Settings, SaveLocationShowsTheEndOfALongPath) {
    QLabel* location = nullptr;
    openSettings();
    location = shown<QLabel>("saveLocation");
    EXPECT_TRUE(location->text().isEmpty()) << "no folder known yet";
    model().showPopoverSettings = false;
    emit model().changed();
    const QString deep = "/home/teacher/" + QString("very-long-folder-name/").repeated(12) + "class";
    qv::app::setFolderLocations(std::make_shared<const qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(deep)));
    openSettings();
    location = shown<QLabel>("saveLocation");
    EXPECT_TRUE(location->text().endsWith("class/Quorvane")) << location->text().toStdString();
    EXPECT_FALSE(location->text().startsWith("/home")) << "the beginning is cut off";
    EXPECT_LE(location->width(), 250);
}

}  // namespace
