#include "state/AppState.h"

#include <atomic>
#include <mutex>

#include "util/BuildInfo.h"

namespace qv::app {

namespace {
std::atomic<std::shared_ptr<const FolderLocations>> g_folders;
std::mutex g_docCamMutex;
std::shared_ptr<const QImage> g_docCamFrame;
std::mutex g_idMutex;
QString g_applicationId = QString::fromUtf8(util::build::vemoApplicationId);
}  // namespace

FolderLocations FolderLocations::forSaveFolder(const QString& saveFolder) {
    QString base = saveFolder;
    while (base.size() > 1 && base.endsWith('/')) base.chop(1);
    FolderLocations f;
    f.rootFolderURL = base + "/Quorvane";
    f.imagesFolderURL = f.rootFolderURL + "/images";
    f.videosFolderURL = f.rootFolderURL + "/videos";
    f.libraryFolderURL = f.rootFolderURL + "/~library";
    f.templatesFolderURL = f.rootFolderURL + "/~templates";
    f.bookmarkFolderURL = f.rootFolderURL + "/~bookmark";
    return f;
}

std::shared_ptr<const FolderLocations> folderLocations() { return g_folders.load(); }
void setFolderLocations(std::shared_ptr<const FolderLocations> locations) { g_folders.store(std::move(locations)); }

std::shared_ptr<const QImage> docCamSampleBuffer() {
    std::lock_guard lock(g_docCamMutex);
    return g_docCamFrame;
}
void setDocCamSampleBuffer(std::shared_ptr<const QImage> frame) {
    std::lock_guard lock(g_docCamMutex);
    g_docCamFrame = std::move(frame);
}

void setApplicationId(const QString& id) {
    std::lock_guard lock(g_idMutex);
    g_applicationId = id;
}
QString applicationId() {
    std::lock_guard lock(g_idMutex);
    return g_applicationId;
}
bool isWendleEdition() {
    static const bool wendle = applicationId() == QString::fromUtf8(util::build::wendleApplicationId);
    return wendle;
}

QPointer<capture::CameraController> sharedCameraController;
QPointer<capture::CameraViewController> sharedCameraViewController;
QPointer<webpanels::WebView> whiteboardWebView;
QPointer<webpanels::BrowserWebView> browserWebView;
QPointer<webpanels::BrowserBoardView> browserBoardView;
QPointer<library::ArchiveListView> archiveListView;
std::shared_ptr<server::HttpServer> httpServer;

bool enableRemoveBackground = false;
bool invertColor = false;
bool globalPdfMode = false;
bool globalLessonsMode = false;
QString pdfViewerQuery;
bool globalOfflineMode = false;
QString globalResolution = QStringLiteral("1080P@30fps");
bool isResolution1080 = true;
bool isResolution4K = false;
double currentZoomFactor = 1.0;
bool updateAvailable = false;
QString updateDownloadLocation;

void applyResolution(const QString& resolution) {
    globalResolution = resolution;
    if (resolution.contains("1080")) {
        isResolution1080 = true;
        isResolution4K = false;
    } else if (resolution.contains("4K")) {
        isResolution4K = true;
        isResolution1080 = false;
    } else {
        isResolution1080 = false;
        isResolution4K = false;
    }
}

}  // namespace qv::app
