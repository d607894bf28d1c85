#pragma once
// A CameraView on the synthetic devices in a 1280 x 800 top-level window, with the notifications
// it causes recorded in order.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>
#include <vector>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "capture/CameraController.h"
#include "capture/CameraPreviewView.h"
#include "capture/CameraView.h"
#include "capture/CameraViewController.h"
#include "support/QtWait.h"

namespace qv::capture::test {

class NotificationLog {
public:
    NotificationLog() {
        for (const char* name : app::notification::all)
            app::NotificationCenter::defaultCenter().addObserver(&owner_, name, [this](const app::Notification& n) {
                received.push_back(n);
            });
    }
    int count(const QString& name) const {
        int n = 0;
        for (const auto& r : received) n += r.name == name;
        return n;
    }
    int indexOf(const QString& name) const {
        for (size_t i = 0; i < received.size(); ++i)
            if (received[i].name == name) return int(i);
        return -1;
    }
    std::vector<app::Notification> all(const QString& name) const {
        std::vector<app::Notification> out;
        for (const auto& r : received)
            if (r.name == name) out.push_back(r);
        return out;
    }
    std::vector<app::Notification> received;

private:
    QObject owner_;
};

class CameraWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // Discovery finds the synthetic devices, as it does for the program started this way.
        qputenv("QUORVANE_SYNTHETIC_DEVICES", QV_TEST_FIXTURES_DIR "/synthetic-devices.json");
        app::currentZoomFactor = 1.0;
        app::applyResolution(QStringLiteral("1080P@30fps"));
        app::setFolderLocations(nullptr);
    }
    void TearDown() override {
        window.reset();
        QThreadPool::globalInstance()->waitForDone();
        qv::test::spin(50);
        app::setFolderLocations(nullptr);
    }

    // Shows the camera view in a 1280 x 800 window and waits until the camera runs and shows frames.
    void open(std::unique_ptr<DeviceProvider> provider = nullptr) {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        view = new CameraView(window.get(), std::move(provider));
        layout->addWidget(view);
        window->resize(1280, 800);
        window->show();
        ASSERT_TRUE(qv::test::waitUntil([&] { return log.count(app::notification::CameraStarted) > 0; }, 20000));
        ASSERT_TRUE(qv::test::waitUntil([&] { return preview() && preview()->framesPainted() > 2; }, 10000));
    }

    CameraController* controller() const { return view->viewController()->cameraController(); }
    CameraPreviewView* preview() const { return view->viewController()->previewView(); }

    // A save folder in a temporary place, with its images folder.
    QString useTemporarySaveFolder() {
        auto folders = std::make_shared<app::FolderLocations>(app::FolderLocations::forSaveFolder(saveFolder.path()));
        QDir().mkpath(folders->imagesFolderURL);
        app::setFolderLocations(folders);
        return folders->imagesFolderURL;
    }

    NotificationLog log;
    QTemporaryDir saveFolder;
    std::unique_ptr<QWidget> window;
    CameraView* view = nullptr;
};

}  // namespace qv::capture::test
