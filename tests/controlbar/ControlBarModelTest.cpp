#include <gtest/gtest.h>

#include <optional>

#include <QImage>
#include <QUrl>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "controlbar/ControlBarModel.h"
#include "controlbar/FakeCamera.h"
#include "support/QtWait.h"

using namespace qv::controlbar;
using qv::app::Notification;
namespace nt = qv::app::notification;

namespace {

// Records every notification of the given names.
struct Posted {
    QObject owner;
    std::vector<Notification> seen;
    explicit Posted(std::initializer_list<const char*> names) {
        for (const char* n : names)
            qv::app::NotificationCenter::defaultCenter().addObserver(&owner, n, [this](const Notification& x) { seen.push_back(x); });
    }
    int count(const QString& name) const {
        return int(std::count_if(seen.begin(), seen.end(), [&](const Notification& n) { return n.name == name; }));
    }
};

struct Bar {
    qv::test::FakeCamera camera;
    bool hasCamera = true;
    ControlBarModel model{[this]() -> CameraPort* { return hasCamera ? &camera : nullptr; }};
    std::vector<QString> scripts;
    std::vector<bool> storedOffline;
    Bar() {
        model.setScriptRunner([this](const QString& s) { scripts.push_back(s); });
        model.setOfflineModeStore([this](bool v) { storedOffline.push_back(v); });
    }
};

QImage picture() {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image;
}

std::string captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(ControlBarZoom, StepsFromTheCamerasFactorWithinLimits) {
    struct Case {
        double current;
        bool in;
        double asked;
    } cases[] = {
        {0.52, false, 0.5}, {9.5, true, 10.0}, {1.0, true, 1.1}, {1.0, false, 1.0 / 1.1},
        {10.0, true, 10.0}, {0.5, false, 0.5}, {2.0, false, 2.0 / 1.1}, {0.3, true, 0.33},
    };
    for (const auto& c : cases) {
        Bar bar;
        bar.model.zoomFactor = 4.0;  // the slider shows something else: the camera's factor counts
        qv::app::currentZoomFactor = c.current;
        c.in ? bar.model.zoomIn() : bar.model.zoomOut();
        ASSERT_EQ(bar.camera.zooms.size(), 1u) << c.current;
        EXPECT_NEAR(bar.camera.zooms[0], c.asked, 1e-9) << c.current << (c.in ? " in" : " out");
    }
    Bar none;
    none.hasCamera = false;
    none.model.zoomIn();
    none.model.zoomOut();
    EXPECT_TRUE(none.camera.zooms.empty());
    qv::app::currentZoomFactor = 1.0;
}

TEST(ControlBarZoom, SliderAndZoomedNotificationKeepTheSliderInStep) {
    Bar bar;
    bar.model.appear();
    bar.model.setZoomFromSlider(3.5);
    EXPECT_EQ(bar.model.zoomFactor, 3.5);
    ASSERT_EQ(bar.camera.zooms, std::vector<double>{3.5});
    qv::app::currentZoomFactor = 6.0;
    qv::app::post(nt::Zoomed_CAMERA);
    EXPECT_EQ(bar.model.zoomFactor, 6.0);
    qv::app::currentZoomFactor = 1.0;
}

TEST(ControlBarEdition, ButtonsFollowTheEditionOnlyAfterCameraStarted) {
    // This executable runs the Vemo edition.
    ASSERT_FALSE(qv::app::isWendleEdition());
    Bar bar;
    bar.model.appear();
    EXPECT_FALSE(bar.model.toggleModel.isWendle);
    bar.camera.list = {{true, false}, {false, false}};
    qv::app::post(nt::Camera_List_Ready);
    EXPECT_TRUE(bar.model.toggleModel.allowDocCam);
    // "CameraStarted" without the camera record leaves the document camera entry alone.
    qv::app::post(nt::CameraStarted);
    EXPECT_TRUE(bar.model.toggleModel.allowDocCam);
    qv::app::post(nt::CameraStarted, {{"vemoCamera", QVariant(1)}});
    EXPECT_FALSE(bar.model.toggleModel.isWendle);
    EXPECT_FALSE(bar.model.toggleModel.allowDocCam) << "outside the Wendle edition the entry goes";
}

TEST(ControlBarCameraList, CapabilitiesAndTheDocumentCamera) {
    struct Case {
        const char* name;
        bool hasCamera;
        std::vector<CameraPort::CameraInfo> cameras;
        bool allowPIP, allowDocCam;
        int docCamera;
        std::string line;
    } cases[] = {
        {"one camera", true, {{true, false}}, false, false, -1, "self.allowPIP = false  Optional(1)\n"},
        {"no controller", false, {}, false, false, -1, "self.allowPIP = false  nil\n"},
        {"wendle first, doc camera second", true, {{true, true}, {true, false}}, true, true, 1,
         "self.allowPIP = true  Optional(2)\n"},
        {"main camera itself", true, {{true, false}, {true, false}, {false, false}}, true, true, 0,
         "self.allowPIP = true  Optional(3)\n"},
        {"no own cameras", true, {{false, false}, {false, true}}, true, false, -1, "self.allowPIP = true  Optional(2)\n"},
    };
    for (const auto& c : cases) {
        Bar bar;
        bar.hasCamera = c.hasCamera;
        bar.camera.list = c.cameras;
        bar.model.toggleModel.allowDocCam = true;
        const std::string out = captured([&] { bar.model.onCameraListReady({}); });
        EXPECT_EQ(out, c.line) << c.name;
        EXPECT_EQ(bar.model.toggleModel.allowPIP, c.allowPIP) << c.name;
        EXPECT_EQ(bar.model.toggleModel.allowDocCam, c.allowDocCam) << c.name;
        EXPECT_EQ(bar.camera.docCameraIndex, c.docCamera) << c.name << ": an unfound camera keeps the old choice";
    }
}

TEST(ControlBarHardwareButtons, EachButtonAndState) {
    struct Case {
        const char* name;
        QVariant button;  // invalid: no "button" key
        bool recording, freezing;
        // expected
        int screenStarts, stops, photos, pauseToggles;
        bool recordingAfter, freezingAfter;
        std::string line;
    } cases[] = {
        {"3 idle starts a screen recording", 3, false, false, 1, 0, 0, 0, true, false, "\"Button Clicked: 3\"\n"},
        {"3 while recording only prints", 3, true, false, 0, 0, 0, 0, true, false, "\"Button Clicked: 3\"\n"},
        {"4 freezes", 4, false, false, 0, 0, 0, 1, false, true, "\"Button Clicked: 4\"\n"},
        {"4 unfreezes", 4, false, true, 0, 0, 0, 1, false, false, "\"Button Clicked: 4\"\n"},
        {"5 takes a snapshot", 5, false, false, 0, 0, 1, 0, false, false, "\"Button Clicked: 5\"\n"},
        {"6 stops a recording and unfreezes", 6, true, true, 0, 1, 0, 1, false, false, "\"Button Clicked: 6\"\n"},
        {"6 while idle still asks to stop", 6, false, false, 0, 1, 0, 0, false, false, "\"Button Clicked: 6\"\n"},
        {"other numbers only print", 9, false, false, 0, 0, 0, 0, false, false, "\"Button Clicked: 9\"\n"},
        {"no button: nothing", QVariant(), false, false, 0, 0, 0, 0, false, false, ""},
    };
    for (const auto& c : cases) {
        Bar bar;
        bar.model.appear();
        bar.model.isRecording = c.recording;
        bar.model.isFreezing = c.freezing;
        bar.camera.paused = c.freezing;
        QVariantMap info;
        if (c.button.isValid()) info.insert("button", c.button);
        const std::string out = captured([&] { qv::app::post(nt::HIDButtonClicked, info); });
        EXPECT_EQ(out, c.line) << c.name;
        EXPECT_EQ(bar.camera.screenStarts, c.screenStarts) << c.name;
        EXPECT_EQ(bar.camera.stops, c.stops) << c.name;
        EXPECT_EQ(bar.camera.photos, c.photos) << c.name;
        EXPECT_EQ(bar.camera.pauseToggles, c.pauseToggles) << c.name;
        EXPECT_EQ(bar.model.isRecording, c.recordingAfter) << c.name;
        EXPECT_EQ(bar.model.isFreezing, c.freezingAfter) << c.name;
        EXPECT_EQ(bar.model.isFreezing, bar.camera.paused) << c.name << ": bar and camera agree";
    }
}

TEST(ControlBarHardwareButtons, CollapsedBarHearsNothingAndShowingRunsTheAppearanceStepAgain) {
    Bar bar;
    qv::app::globalOfflineMode = true;
    const std::string first = captured([&] { bar.model.appear(); });
    EXPECT_EQ(first, "OfflineMode: true\n");
    bar.model.toggleControlBar();
    ASSERT_TRUE(bar.model.hideControlBar);
    captured([&] { qv::app::post(nt::HIDButtonClicked, {{"button", 5}}); });
    qv::app::post(nt::ImageCaptured, {{"image", picture()}, {"url", QUrl::fromLocalFile("/tmp/a.png")}});
    EXPECT_EQ(bar.camera.photos, 0);
    EXPECT_FALSE(bar.model.hasThumbnail());
    const std::string again = captured([&] { bar.model.toggleControlBar(); });
    EXPECT_EQ(again, "OfflineMode: true\n");
    EXPECT_EQ(bar.storedOffline, (std::vector<bool>{true, true}));
    captured([&] { qv::app::post(nt::HIDButtonClicked, {{"button", 5}}); });
    EXPECT_EQ(bar.camera.photos, 1);
    qv::app::globalOfflineMode = false;
}

TEST(ControlBarRecording, ClockTextAndRefusedStart) {
    Bar bar;
    bar.model.appear();
    bar.model.startRecording(ControlBarModel::Recording::Movie);
    EXPECT_TRUE(bar.model.isRecording);
    EXPECT_TRUE(bar.model.clockRunning());
    EXPECT_EQ(bar.model.recordingTimerStr, "Initializing");
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar.model.recordingTimerStr == "00:07"; }, 5000));
    bar.camera.durationText = "01:02:03";
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar.model.recordingTimerStr == "01:02:03"; }, 5000));
    bar.model.stopRecording();
    EXPECT_FALSE(bar.model.isRecording);
    EXPECT_FALSE(bar.model.clockRunning());
    EXPECT_EQ(bar.model.recordingTimerStr, "Initializing");

    // A start the camera refuses leaves the bar idle, with no clock.
    bar.camera.startSucceeds = false;
    bar.model.startRecording(ControlBarModel::Recording::Screen);
    EXPECT_EQ(bar.camera.screenStarts, 1);
    EXPECT_FALSE(bar.model.isRecording);
    EXPECT_FALSE(bar.model.clockRunning());
    // Without a camera nothing starts either.
    bar.hasCamera = false;
    bar.model.startRecording(ControlBarModel::Recording::Movie);
    EXPECT_FALSE(bar.model.isRecording);
}

TEST(ControlBarRecording, ARecordingThatFailsAfterItsStartReturnsTheBarToRecord) {
    using R = ControlBarModel::Recording;
    struct Case {
        const char* name;
        R started;
        bool frozen;
        bool collapsed;
        std::optional<R> failed;  // none: the failure comes while the bar is idle
        bool recordingAfter;
    } cases[] = {
        {"the screen recording could not start", R::Screen, false, false, R::Screen, false},
        {"the camera movie broke off, frozen picture made live", R::Movie, true, false, R::Movie, false},
        {"a collapsed bar is told all the same", R::Screen, false, true, R::Screen, false},
        {"the other kind failing leaves the recording shown", R::Movie, false, false, R::Screen, true},
        {"a failure after the stop changes nothing", R::Screen, false, false, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bar bar;
        bar.model.appear();
        if (c.frozen) bar.model.setFreezing(true);
        bar.model.startRecording(c.started);
        ASSERT_TRUE(bar.model.isRecording);
        ASSERT_TRUE(bar.camera.recordingFailed) << "the bar listens for a failure";
        if (c.collapsed) bar.model.toggleControlBar();
        if (!c.failed) bar.model.stopRecording();
        const int stops = bar.camera.stops;
        int changes = 0;
        QObject::connect(&bar.model, &ControlBarModel::changed, [&] { ++changes; });
        bar.camera.recordingFailed(c.failed.value_or(c.started));
        EXPECT_EQ(bar.model.isRecording, c.recordingAfter);
        EXPECT_EQ(bar.model.clockRunning(), c.recordingAfter);
        EXPECT_EQ(bar.model.recordingTimerStr, "Initializing");
        EXPECT_EQ(changes > 0, c.failed && !c.recordingAfter) << "the view is redrawn when the bar changed";
        EXPECT_FALSE(bar.model.isFreezing);
        EXPECT_FALSE(bar.camera.paused) << "a recording ends with a live picture";
        EXPECT_EQ(bar.camera.stops, stops) << "nothing left to stop";
    }
    // The next start works as the first did.
    Bar bar;
    bar.model.startRecording(R::Screen);
    bar.camera.recordingFailed(R::Screen);
    bar.model.startRecording(R::Screen);
    EXPECT_EQ(bar.camera.screenStarts, 2);
    EXPECT_TRUE(bar.model.isRecording);
}

TEST(ControlBarRecording, CollapsedBarLetsTheClockTextStandStill) {
    Bar bar;
    bar.model.appear();
    bar.model.startRecording(ControlBarModel::Recording::Screen);
    bar.model.toggleControlBar();
    qv::test::spin(1300);
    EXPECT_EQ(bar.model.recordingTimerStr, "Initializing");
    bar.model.toggleControlBar();
    ASSERT_TRUE(qv::test::waitUntil([&] { return bar.model.recordingTimerStr == "00:07"; }, 5000));
}

TEST(ControlBarFreeze, TheBarMirrorsTheCamera) {
    struct Case {
        const char* name;
        bool canPause;
        bool hasCamera;
        bool target;
        bool freezingAfter;
        int toggles;
    } cases[] = {
        {"pause", true, true, true, true, 1},
        {"a camera that cannot pause", false, true, true, false, 1},
        {"no camera: the flag alone", true, false, true, true, 0},
    };
    for (const auto& c : cases) {
        Bar bar;
        bar.camera.canPause = c.canPause;
        bar.hasCamera = c.hasCamera;
        bar.model.setFreezing(c.target);
        EXPECT_EQ(bar.model.isFreezing, c.freezingAfter) << c.name;
        EXPECT_EQ(bar.camera.pauseToggles, c.toggles) << c.name;
    }
    // Resume on a camera that is already live asks nothing of it.
    Bar live;
    live.model.isFreezing = true;
    live.model.setFreezing(false);
    EXPECT_EQ(live.camera.pauseToggles, 0);
    EXPECT_FALSE(live.model.isFreezing);
}

TEST(ControlBarCaptures, ThumbnailNeedsBothPictureAndFile) {
    struct Case {
        const char* name;
        QVariantMap info;
        bool thumbnail;
    } cases[] = {
        {"both", {{"image", picture()}, {"url", QUrl::fromLocalFile("/tmp/x.png")}}, true},
        {"no url", {{"image", picture()}}, false},
        {"no image", {{"url", QUrl::fromLocalFile("/tmp/x.png")}}, false},
        {"nothing", {}, false},
    };
    for (const char* name : {nt::ImageCaptured, nt::VideoRecorded}) {
        for (const auto& c : cases) {
            Bar bar;
            bar.model.appear();
            qv::app::post(name, c.info);
            EXPECT_EQ(bar.model.hasThumbnail(), c.thumbnail) << name << " " << c.name;
        }
    }
    Posted posted{nt::OpenSideBySide};
    Bar bar;
    bar.model.appear();
    qv::app::post(nt::ImageCaptured, {{"image", picture()}, {"url", QUrl::fromLocalFile("/tmp/x.png")}});
    bar.model.showLastCapture();
    ASSERT_EQ(posted.count(nt::OpenSideBySide), 1);
    EXPECT_EQ(posted.seen[0].userInfo.value("url").toUrl(), QUrl::fromLocalFile("/tmp/x.png"));
    EXPECT_FALSE(posted.seen[0].userInfo.value("image").value<QImage>().isNull());
}

TEST(ControlBarHID, ConnectionShowsAndHidesTheAdjustments) {
    Bar bar;
    bar.model.appear();
    qv::app::post(nt::HIDConnected, {{"allowASR", true}});
    EXPECT_FALSE(bar.model.toggleModel.allowHIDControl);
    qv::app::post(nt::HIDConnected, {{"allowHIDControl", true}, {"allowASR", false}});
    EXPECT_TRUE(bar.model.toggleModel.allowHIDControl);
    qv::app::post(nt::HIDDisconnected, {{"allowHIDControl", true}});
    EXPECT_FALSE(bar.model.toggleModel.allowHIDControl);
}

TEST(ControlBarButtons, AnnotationRotationAndPanels) {
    Posted posted{nt::HideArchiveList, nt::ROTATE_CAMERA, nt::Mirror_CAMERA, nt::OpenBrowser, nt::OpenDocCamera,
                  nt::OpenPIPCamera, nt::OpenFiles};
    Bar bar;
    bar.model.turnAnnotationOn();
    bar.model.turnAnnotationOff();
    EXPECT_EQ(bar.scripts, (std::vector<QString>{"allowAnnotation(true)", "allowAnnotation(false)"}));
    EXPECT_EQ(posted.count(nt::HideArchiveList), 1);
    bar.model.rotate("left");
    ASSERT_EQ(posted.count(nt::ROTATE_CAMERA), 1);
    EXPECT_EQ(posted.seen.back().userInfo, (QVariantMap{{"direction", "left"}}));
    bar.model.showPopoverViewer = true;
    bar.model.openLessons();
    EXPECT_EQ(posted.seen.back().userInfo, (QVariantMap{{"pdfMode", false}, {"lessonsMode", true}}));
    EXPECT_FALSE(bar.model.showPopoverViewer);
    bar.model.openWebBrowser();
    EXPECT_EQ(posted.seen.back().userInfo, (QVariantMap{{"pdfMode", false}}));
    bar.model.openDocCamera();
    EXPECT_TRUE(posted.seen.back().userInfo.isEmpty());
    bar.model.showPopoverViewOption = true;
    bar.model.openPIPCamera();
    EXPECT_FALSE(bar.model.showPopoverViewOption);
    EXPECT_EQ(posted.count(nt::OpenPIPCamera), 1);
}
