#pragma once
// The root view's state without widgets: which panels are shown, the side-by-side picture, the
// geometry of the movable panels, and the handlers of the notifications through which the other
// parts of the program open and close those panels.
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QUrl>

#include <functional>
#include <optional>

#include "app/rootview/PanelRules.h"
#include "state/NotificationCenter.h"

namespace qv::app {

// The query with which the PDF viewer fetches a file from our server: the browser's own rule
// (webpanels/PdfViewerAddress.h), so the handler and BrowserWebView::openPDF always agree. The
// file is from then on one the viewer may read (handPdfToViewer).
QString pdfViewerQueryFor(const QString& path);

class RootViewModel : public QObject {
    Q_OBJECT
public:
    static constexpr int browserReopenDelayMs = 200;
    static constexpr int browserLayoutDelayMs = 500;

    explicit RootViewModel(QObject* parent = nullptr);

    // Where a file that is no picture goes (its default application).
    std::function<void(const QUrl&)> openExternally;
    // Loads a PDF into the browser panel that is on screen now; returns false when none is.
    std::function<bool(const QString& path)> openPdfInShownBrowser;
    // The window's content size now.
    std::function<QSizeF()> windowSize;

    // Subscribes the eight handlers for the life of this object.
    void subscribe();

    // --- state ---
    bool allowAnnotation = true;
    bool showPipCamera = false;
    bool showDocCamera = false;
    FloatingCameraOffset cameraWindows;
    bool showSideBySide = false;
    QImage sideBySideImage;
    bool showSharingPicker = false;
    QUrl shareUrl;
    std::optional<double> splitWidth = 0.0;
    SideBySidePicture picture;
    bool showBrowser = false;
    BrowserPanelGeometry browser;
    CameraPinch pinch;
    bool showTunnelList = false;
    bool showGifGenerator = false;
    bool loadingMarrowPanel = false;
    QString loadingMarrowPanelError;
    bool showKestrixConfig = false;

    // --- handlers ---
    void onOpenPIPCamera(const Notification& n);
    void onOpenDocCamera(const Notification& n);
    void onOpenBrowser(const Notification& n);
    void onOpenTunnelList(const Notification& n);
    void onOpenGifGenerator(const Notification& n);
    void onOpenKestrixConfig(const Notification& n);
    void onShowLoadingMarrowPanel(const Notification& n);
    void onOpenSideBySide(const Notification& n);

    // --- actions of the panels ---
    void closeBrowser();
    void closeSideBySide();
    // The side-by-side pane came on screen: from now on the divider decides its width.
    void sideBySideShown();
    // The browser panel came on screen: its layout follows 0.5 s later.
    void browserShown();

signals:
    void changed();
    // The side-by-side pane opens (the view animates it in).
    void sideBySideOpening();

private:
    int browserOpenings_ = 0;
};

}  // namespace qv::app
