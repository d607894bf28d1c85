#pragma once
// The whiteboard host: the whiteboard page of our resources in a transparent web view that lies
// over the camera picture. The first host to be updated loads the page once for the whole
// process and publishes itself in qv::app::whiteboardWebView; the rest of the program calls the
// page's functions through evaluateScript() and photographs it with takeSnapshot().
// Main thread only.
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <functional>

class QWebChannel;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

namespace qv::webpanels {

class LoadDeadline;
class WebViewController;
class WhiteboardPage;

class WebView : public QWidget {
    Q_OBJECT
public:
    // Creates the configured web view (scripts, message handler, delegates); it loads nothing yet.
    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    WebViewController* webViewController() const { return controller_; }
    // The live web view that shows the page.
    QWebEngineView* wkWebView() const { return view_; }

    // Loads the page and publishes this host, the first time any host is updated; afterwards
    // (also for a later host) it does nothing. Runs on the first show by itself.
    void updateView();

    // Evaluates a script text in the page; the result and any script error are ignored.
    void evaluateScript(const QString& script);

    // A picture of the page as shown, transparent where the page is, at the view's size in
    // device-independent pixels (one pixel per point), taken once the page's last drawing is on
    // screen. `completion` runs later on the main thread, exactly once, with the picture, or with
    // a null picture and the reason.
    // The picture holds what the page shows of the teacher's drawing (its ink and picture
    // windows), never the page's own controls; it is whole also where panels cover the page.
    using SnapshotCompletion = std::function<void(const QImage& picture, const QString& error)>;
    void takeSnapshot(SnapshotCompletion completion);

    // The part of the view that the program's panels cover (view coordinates): the page draws
    // nothing there. The web engine draws a transparent page above every other widget of the
    // window, so this is what keeps the ink below the panels. Kept across page loads.
    void setCoveredRegion(const QRegion& covered);
    QRegion coveredRegion() const { return covered_; }

    // How long the page may take to load before the load is stopped and reported as failed.
    static constexpr int pageLoadTimeoutMs = 60000;
    void setPageLoadTimeout(int ms);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void reportLoading(const QWebEngineLoadingInfo& info);
    void sendCover();
    void pageLoadTimedOut();

    WebViewController* controller_;
    QWebEngineProfile* profile_;
    QWebEngineView* view_;
    WhiteboardPage* page_;
    QWebChannel* channel_;
    LoadDeadline* loadDeadline_;
    QRegion covered_;
};

}  // namespace qv::webpanels
