#pragma once
// The control bar over the camera view in one 1280 x 800 window, the bar driving the real camera
// controller on the synthetic devices, with a save folder in a temporary place (its videos and
// images folders made). "CameraStarted" and "VideoRecorded" are kept in `received`.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <vector>

#include "capture/CameraController.h"
#include "capture/CameraPreviewView.h"
#include "capture/CameraView.h"
#include "capture/CameraViewController.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/Popover.h"
#include "controlbar/SharedCameraPort.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"

namespace qv::test {

class BarOnDevices : public ::testing::Test {
protected:
    void SetUp() override {
        app::currentZoomFactor = 1.0;
        app::applyResolution(QStringLiteral("1080P@30fps"));
        ASSERT_TRUE(save.isValid());
        auto folders = std::make_shared<app::FolderLocations>(app::FolderLocations::forSaveFolder(save.path()));
        QDir().mkpath(folders->videosFolderURL);
        QDir().mkpath(folders->imagesFolderURL);
        app::setFolderLocations(folders);
        for (const char* name : {app::notification::CameraStarted, app::notification::VideoRecorded})
            app::NotificationCenter::defaultCenter().addObserver(&owner, name, [this](const app::Notification& n) {
                received.push_back(n);
            });

        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        camera = new capture::CameraView(window.get());
        layout->addWidget(camera, 1);
        bar = new controlbar::ControlBarView(controlbar::sharedCameraProvider(), window.get());
        layout->addWidget(bar, 0, Qt::AlignHCenter);
        window->resize(1280, 800);
        window->show();
        ASSERT_TRUE(waitUntil([&] { return count(app::notification::CameraStarted) > 0; }, 20000));
        ASSERT_TRUE(waitUntil([&] { return preview() && preview()->framesPainted() > 2; }, 10000));
    }
    void TearDown() override {
        window.reset();
        spin(50);
        app::setFolderLocations(nullptr);
    }

    capture::CameraController* controller() const { return camera->viewController()->cameraController(); }
    capture::CameraPreviewView* preview() const { return camera->viewController()->previewView(); }
    int count(const char* name) const {
        return int(std::count_if(received.begin(), received.end(), [&](const app::Notification& n) { return n.name == name; }));
    }
    int started() const { return count(app::notification::CameraStarted); }

    QObject owner;
    std::vector<app::Notification> received;
    QTemporaryDir save;
    std::unique_ptr<QWidget> window;
    capture::CameraView* camera = nullptr;
    controlbar::ControlBarView* bar = nullptr;
};

}  // namespace qv::test
