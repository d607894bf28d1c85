#include "app/ContentView.h"

#include <QPointer>
#include <QVBoxLayout>

#include "app/Download.h"
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
#include "library/ArchiveListView.h"
#include "library/GifGeneratorView.h"
#include "library/files/FileLibraryView.h"
#include "pairing/KestrixConfigView.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/CameraGestureTarget.h"
#include "webpanels/PickedTunnelWindows.h"
#include "webpanels/TunnelListView.h"
#include "webpanels/WebView.h"
#include "webpanels/WebViewController.h"
#include "webpanels/x11/X11TunnelWindows.h"

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
    factories.archiveList = [](QWidget* parent) { return new library::ArchiveListView(parent); };
    factories.gifGenerator = [](QWidget* parent) { return new library::GifGeneratorView(parent); };
    // Other programs' windows for mirroring; the page reaches only those the presenter picked.
    auto tunnelWindows = std::make_shared<webpanels::PickedTunnelWindows>(webpanels::x11::makeX11TunnelWindowSystem());
    factories.tunnelList = [tunnelWindows](QWidget* parent) {
        return new webpanels::TunnelListView(
            tunnelWindows, [](const QString& script) { if (whiteboardWebView) whiteboardWebView->evaluateScript(script); },
            parent);
    };
    factories.kestrixConfig = [](QWidget* parent) { return new pairing::KestrixConfigView(parent); };
    factories.whiteboard = [tunnelWindows](QWidget* parent) {
        auto* board = new webpanels::WebView(parent);
        board->webViewController()->setTunnelWindowSystem(tunnelWindows);
        // The page's drags and pinches move and zoom whichever camera is the main one.
        board->webViewController()->setCameraGestureTarget(webpanels::makeCameraGestureTarget<capture::CameraController>(
            [] { return sharedCameraController.data(); }));
        return board;
    };
    factories.fileLibrary = [](QWidget* parent) { return new library::FileLibraryView(library::FileLibraryServices::desktop(), parent); };
    factories.browser = [](QWidget* parent, const BrowserPanelArgs& args) -> QWidget* {
        return new webpanels::BrowserView(args.address, args.canGoBack, args.canGoForward, args.pdfMode,
                                          args.lessonsMode, args.opacityValue, args.onClosed, parent);
    };
    factories.openPDF = [](QWidget* panel, const QString& path) {
        if (auto* browser = qobject_cast<webpanels::BrowserView*>(panel)) browser->browserWebView()->openPDF(path);
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

    // The offline mode and the resolution are kept between launches ("bookmark_offline",
    // "bookmark_resolution"); the update is fetched into the save folder.
    const auto store = [settings](const QString& key, const QVariant& value) {
        std::unique_ptr<QSettings> own = settings ? nullptr : openUserSettings();
        QSettings* target = settings ? settings : own.get();
        target->setValue(key, value);
        syncSettings(*target);
    };
    controlbar::ControlBarModel& bar = rootView_->controlBar()->model();
    bar.setOfflineModeStore([store](bool offline) { store(QStringLiteral("bookmark_offline"), offline); });
    bar.setResolutionStore([store](const QString& r) { store(QStringLiteral("bookmark_resolution"), r); });
    bar.setUpdateInstaller({[](const QString& address, auto stored, auto failed) {
                                downloadFile(address, std::move(stored), std::move(failed));
                            },
                            {},
                            {}});
}

}  // namespace qv::app
