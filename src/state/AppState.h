#pragma once
// The app-wide state through which the subsystems publish their long-lived objects, the folder
// locations inside the save folder, the mode switches and the update check's result.
//
// Threads: everything here belongs to the main thread, except
//  - the folder locations, published as one immutable snapshot that any thread may read;
//  - the document camera's latest frame, handed over under a lock;
//  - the edition, computed once and then read-only.
#include <QImage>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

namespace qv::capture {
class CameraController;
class CameraViewController;
}  // namespace qv::capture
namespace qv::webpanels {
class WebView;
class BrowserWebView;
class BrowserBoardView;
}  // namespace qv::webpanels
namespace qv::library {
class ArchiveListView;
}
namespace qv::server {
class HttpServer;
}

namespace qv::app {

// The folders inside the save folder, all absolute paths without a trailing slash.
struct FolderLocations {
    QString rootFolderURL;       // "<save folder>/Quorvane"
    QString imagesFolderURL;     // ".../images"     snapshots
    QString videosFolderURL;     // ".../videos"     camera and screen recordings
    QString libraryFolderURL;    // ".../~library"   imports, converted presentations
    QString templatesFolderURL;  // ".../~templates" templates, templates.json, favorites.json
    QString bookmarkFolderURL;   // ".../~bookmark"  bookmarks.json and page snapshots

    static FolderLocations forSaveFolder(const QString& saveFolder);
};

// Null until a save folder is known. The snapshot never changes; a new folder replaces it whole.
std::shared_ptr<const FolderLocations> folderLocations();
void setFolderLocations(std::shared_ptr<const FolderLocations> locations);

// The latest frame of the document camera (null until one arrived).
std::shared_ptr<const QImage> docCamSampleBuffer();
void setDocCamSampleBuffer(std::shared_ptr<const QImage> frame);

// The application id of this build, set by main() before anything reads the edition.
void setApplicationId(const QString& id);
QString applicationId();
// True exactly when the application id is the Wendle edition's; computed at first use.
bool isWendleEdition();

// Published objects. QPointer: a panel that was closed reads as absent, never as a dangling view.
extern QPointer<capture::CameraController> sharedCameraController;
extern QPointer<capture::CameraViewController> sharedCameraViewController;
extern QPointer<webpanels::WebView> whiteboardWebView;
extern QPointer<webpanels::BrowserWebView> browserWebView;
extern QPointer<webpanels::BrowserBoardView> browserBoardView;
extern QPointer<library::ArchiveListView> archiveListView;
extern std::shared_ptr<server::HttpServer> httpServer;

// Mode switches and settings.
extern bool enableRemoveBackground;
extern bool invertColor;
extern bool globalPdfMode;
extern bool globalLessonsMode;
extern QString pdfViewerQuery;
extern bool globalOfflineMode;
extern QString globalResolution;  // "4K@30fps", "1080P@30fps" or "720P@30fps"
extern bool isResolution1080;
extern bool isResolution4K;
extern double currentZoomFactor;  // the preview's scale relative to 1280 x 720

// The update check's result.
extern bool updateAvailable;
extern QString updateDownloadLocation;

// Sets globalResolution and the two flags from a resolution text: "1080" wins over "4K".
void applyResolution(const QString& resolution);

}  // namespace qv::app
