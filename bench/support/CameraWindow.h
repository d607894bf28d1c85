#pragma once
// The camera view in a 1280 x 800 window, as the program shows it, for the benchmarks that
// measure it on the synthetic devices (the caller sets QUORVANE_SYNTHETIC_DEVICES before the
// QApplication is made).
#include <QVBoxLayout>
#include <QWidget>

#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "capture/CameraController.h"
#include "capture/CameraPreviewView.h"
#include "capture/CameraView.h"
#include "capture/CameraViewController.h"
#include "support/QtWait.h"

namespace qv::bench {

class CameraWindow {
public:
    CameraWindow() {
        app::NotificationCenter::defaultCenter().addObserver(
            &observer_, app::notification::CameraStarted, [this](const app::Notification&) { ++started_; });
        auto* layout = new QVBoxLayout(&window_);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new capture::CameraView(&window_);
        layout->addWidget(view);
        window_.resize(1280, 800);
        window_.show();
        controller = view->viewController()->cameraController();
        preview = view->viewController()->previewView();
    }

    // Waits until the camera runs and its frames are shown.
    bool waitForFrames(int timeoutMs = 30000) {
        return test::waitUntil([this] { return started_ > 0 && preview->framesPainted() > 10; }, timeoutMs);
    }

    capture::CameraController* controller = nullptr;
    capture::CameraPreviewView* preview = nullptr;

private:
    QObject observer_;
    QWidget window_;
    int started_ = 0;
};

}  // namespace qv::bench
