#pragma once
// The board over the browsed page: the hosted board page in a transparent web view, laid exactly
// over the page (our own board page while the hosted one cannot load). Its navigation stays on
// the board's site and our server; links to local PDF files open in the browser's PDF viewer. It
// publishes itself in qv::app::browserBoardView when first shown. Main thread only.
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

class QWebChannel;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

namespace qv::webpanels {

class LoadDeadline;

class BrowserBoardViewController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    float gestureScale = 1.0f;

    // True when the board page may go to `url`; a local file is handed to openLocalFile.
    bool decidePolicyForNavigation(const QUrl& url);
    void openLocalFile(const QUrl& url);
};

// The board page's file links: the engine refuses to follow a "file:" link from a web page before
// the navigation policy is asked, so a script of the program's own catches the click and hands
// the address here (web channel object "boardLinks"), and the policy decides.
class BoardFileLinks : public QObject {
    Q_OBJECT
public:
    BoardFileLinks(BrowserBoardViewController* controller, QObject* parent) : QObject(parent), controller_(controller) {}
    // Only "file:" addresses come this way; any other text is ignored.
    Q_INVOKABLE void openLink(const QString& address);

private:
    BrowserBoardViewController* controller_;
};

class BrowserBoardPage : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserBoardPage(QWebEngineProfile* profile, BrowserBoardViewController* controller, QObject* parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    BrowserBoardViewController* controller_;
};

class BrowserBoardView : public QWidget {
    Q_OBJECT
public:
    explicit BrowserBoardView(QWidget* parent = nullptr);
    ~BrowserBoardView() override;

    // "https://<board host>/wendle/mac".
    static QUrl boardPageAddress();
    // Our own board page (the whiteboard page among the resources): it stands in when the hosted
    // board page fails to load or does not load in time, so drawing works offline too.
    static QUrl localBoardPageAddress();

    BrowserBoardViewController* boardViewController() const { return controller_; }
    QWebEngineView* wkWebView() const { return view_; }
    // Publishes this view in browserBoardView; the first call loads the board page.
    void updateView();
    // Evaluates a script in the board page. The last "allowAnnotation(...)" call is made again in
    // every page the board loads later.
    void evaluateScript(const QString& script);
    // How long a load may take before it is stopped and our own board page shown (60 s).
    void setLoadTimeout(int ms);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void reportLoading(const QWebEngineLoadingInfo& info);
    void loadTimedOut();
    void showLocalBoard();

    BrowserBoardViewController* controller_;
    QWebEngineProfile* profile_;
    QWebEngineView* view_;
    BrowserBoardPage* page_;
    QWebChannel* channel_;
    LoadDeadline* loadDeadline_;
    QString annotationScript_;
    bool loaded_ = false;
};

}  // namespace qv::webpanels
