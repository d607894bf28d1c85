#include "app/ContentView.h"

#include <QPointer>
#include <QVBoxLayout>

#include "app/Settings.h"
#include "app/WhiteboardPictures.h"
#include "app/rootview/RootView.h"
#include "state/AppState.h"
#include "state/Failures.h"
#include "capture/CameraController.h"
#include "capture/CameraView.h"
#include "capture/DocCamController.h"
#include "capture/PIPController.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/SharedCameraPort.h"
#include "webpanels/CameraGestureTarget.h"
#include "webpanels/WebView.h"
#include "webpanels/WebViewController.h"

namespace qv::app {

ContentView::ContentView(QWidget* parent) : ContentView(nullptr, parent) {}

ContentView::ContentView(QSettings* settings, QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 200);
    // The live camera is real; the other panels show placeholders until their own views exist,
    // each set here by its factory (the whiteboard: factories.whiteboard, the browser:
    // factories.browser with factories.openPDF, and so on).
    PanelFactories factories = PanelFactories::placeholders();
    factories.cameraView = [](QWidget* parent) { return new capture::CameraView(parent); };
    factories.pipCamera = [](QWidget* parent) { return new capture::PIPViewController(parent); };
    factories.docCamera = [](QWidget* parent) { return new capture::DocCamViewController(parent); };
    factories.whiteboard = [](QWidget* parent) {
        auto* board = new webpanels::WebView(parent);
        // The page's drags and pinches move and zoom whichever camera is the main one.
        board->webViewController()->setCameraGestureTarget(webpanels::makeCameraGestureTarget<capture::CameraController>(
            [] { return sharedCameraController.data(); }));
        return board;
    };
    factories.coverWhiteboard = [](QWidget* board, const QRegion& covered) {
        if (auto* view = qobject_cast<webpanels::WebView*>(board)) view->setCoveredRegion(covered);
    };
    RootView::Camera camera;
    camera.controlBar = controlbar::sharedCameraProvider();
    camera.available = [] { return !sharedCameraController.isNull(); };
    camera.setZoom = [](double factor) {
        if (sharedCameraController) sharedCameraController->setZoom(factor);
    };
    rootView_ = new RootView(std::move(factories), std::move(camera), this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rootView_);

    // Failures that cost the teacher work are shown in the window.
    setFailureDisplay([root = QPointer<RootView>(rootView_)](const QString& text) {
        if (root) root->showMessage(text);
    });

    // Snapshots compose the whiteboard page over the photo; the Annotate switch reaches the page.
    if (sharedCameraController) sharedCameraController->setSnapshotPictureProvider(std::make_shared<WhiteboardPictures>());
    const auto runInWhiteboard = [](const QString& script) {
        if (whiteboardWebView) whiteboardWebView->evaluateScript(script);
    };
    rootView_->controlBar()->model().setScriptRunner(runInWhiteboard);
    capture::DocCamController::setWhiteboardScriptRunner(runInWhiteboard);

    // The offline mode is kept between launches under "bookmark_offline".
    rootView_->controlBar()->model().setOfflineModeStore([settings](bool offline) {
        std::unique_ptr<QSettings> own = settings ? nullptr : openUserSettings();
        QSettings* target = settings ? settings : own.get();
        target->setValue(QStringLiteral("bookmark_offline"), offline);
        syncSettings(*target);
    });
}

}  // namespace qv::app
