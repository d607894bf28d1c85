#pragma once
// The board over the browsed page: the hosted board page in a transparent web view, laid exactly
// over the page (our own board page while the hosted one cannot load). Its navigation stays on
// the board's site and our server; links to local PDF files open in the browser's PDF viewer. It
// publishes itself in qv::app::browserBoardView when first shown. Main thread only.
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

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

// The board page's file links, in the page and in its frames alike: the engine refuses to follow
// a "file:" link from a web page before the navigation policy is asked, so a script of the
// program's own catches the click and tells the address in a console message that only the
// program sees, marked with a secret of this page's (boardFileLinkScript), and the policy decides.
class BrowserBoardPage : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserBoardPage(QWebEngineProfile* profile, BrowserBoardViewController* controller, QObject* parent = nullptr);

    // The secret that marks the link script's messages.
    const QString& linkToken() const { return linkToken_; }
    // A link's address told by the link script: only "file:" addresses are taken.
    void openLink(const QString& address);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                  const QString& source) override;

private:
    BrowserBoardViewController* controller_;
    QString linkToken_;
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
    // How long a load may go without anything arriving before it is stopped (60 s); our own board
    // page then takes its place unless the board shows a page that has drawn (its ink stays).
    void setLoadTimeout(int ms);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void reportLoading(const QWebEngineLoadingInfo& info);
    void loadTimedOut();
    // After a load that ended without the page: keeps a board page that has drawn, or else
    // shows our own.
    void keepDrawnBoardOrShowLocal();
    void showLocalBoard();

    BrowserBoardViewController* controller_;
    QWebEngineProfile* profile_;
    QWebEngineView* view_;
    BrowserBoardPage* page_;
    LoadDeadline* loadDeadline_;
    QString annotationScript_;
    bool loaded_ = false;
    bool closing_ = false;
};

}  // namespace qv::webpanels
