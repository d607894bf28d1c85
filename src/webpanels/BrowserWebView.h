#pragma once
// The browser panel's page view: a transparent web view that loads the panel's start page (the
// search engine, the online or offline lessons, or the PDF viewer), typed addresses and PDF
// files, removes page backgrounds and inverts colours on request, answers the page's alert,
// confirm, prompt and file requests through BrowserDialogs, sends new-window links the teacher
// clicked to the desktop's browser, saves and prints the PDF viewer's document
// (PdfViewerActions), and after every finished load writes the page's state back into its panel.
// It publishes itself in qv::app::browserWebView when it is first shown. Main thread only.
#include <QImage>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QWebEngineLoadingInfo;
class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;

namespace qv::webpanels {

class BrowserDialogs;
class BrowserView;
class LoadDeadline;

// The page of the browser: its JavaScript panels, file chooser and new windows. A new window
// goes to the desktop's browser only when the teacher's own click or key asked for it; a page's
// script alone opens nothing (one line is printed for each page that tried).
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserPage(QWebEngineProfile* profile, QObject* parent = nullptr);

protected:
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    void requestNewWindow(QWebEngineNewWindowRequest& request);

    bool toldBlocked_ = false;  // this page's load printed its blocked window already
};

class BrowserWebView : public QWidget {
    Q_OBJECT
public:
    BrowserWebView(BrowserView* browserView, QWidget* parent = nullptr);
    ~BrowserWebView() override;

    // Where the pages' dialogs and new windows go, for every browser (the desktop by default).
    static void setDialogs(std::shared_ptr<BrowserDialogs> dialogs);
    static BrowserDialogs& dialogs();

    BrowserView* browserView() const { return browserView_; }
    QWebEngineView* wkWebView() const { return view_; }
    // True from the first show on, false after the panel's close button.
    bool showingBrowser() const { return showingBrowser_; }
    void setShowingBrowser(bool showing) { showingBrowser_ = showing; }

    // Publishes this view in browserWebView; the first call also loads the start page.
    void updateView();
    // The start page the panel's state asks for.
    QUrl startPage() const;

    // Typed text: "http://" goes in front unless it begins with "http://" or "https://" (exactly
    // so); text that is then no valid address is ignored.
    void loadURL(const QString& text);
    // The address loadURL loads for `text`, none when it is no valid address.
    static std::optional<QUrl> typedAddress(const QString& text);
    // Switches the panel to PDF mode and shows the local file `path` in the PDF viewer.
    void openPDF(const QString& path);
    // Evaluates a script in the page; result and errors are ignored.
    void evaluateScript(const QString& script);
    // Evaluates a script that may take the page's backgrounds away (or give them back), then has
    // the page drawn whole again (redrawWholePage), so that the camera shows where it went.
    void evaluateBackgroundScript(const QString& script);
    // The opacity the whole page is shown at over what lies below (the panel's transparency),
    // clamped to 0..1: text, pictures and the page's own background alike. It belongs to the
    // view, so it holds across the page's loads.
    void setPageOpacity(double opacity);
    double pageOpacity() const { return opacity_; }

    // The page as shown, at the view's size in points, at full opacity (a composition applies
    // pageOpacity() itself); `completion` gets a null picture when none can be had. Runs later on
    // the main thread, exactly once.
    void takeSnapshot(std::function<void(const QImage& picture)> completion);
    // The view that holds the page view (the panel's page area).
    QWidget* container() const { return parentWidget(); }

    // The finished-load handling (also called by the engine's reports).
    void didFinishNavigation();

    // How long a load may go without anything arriving before the rest of it is stopped (60 s):
    // a page that shows something of it is then handled as finished, else reported as failed.
    void setLoadTimeout(int ms);

signals:
    // After the finished-load handling ran (tests wait on it).
    void navigationFinished(const QUrl& url);
    void navigationFailed(const QUrl& url);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void reportLoading(const QWebEngineLoadingInfo& info);
    void loadTimedOut();
    void load(const QUrl& url);

    BrowserView* browserView_;
    QWebEngineProfile* profile_;
    QWebEngineView* view_;
    BrowserPage* page_;
    LoadDeadline* loadDeadline_;
    double opacity_ = 1.0;
    bool showingBrowser_ = false;
    bool loadedStartPage_ = false;
    bool closing_ = false;
};

}  // namespace qv::webpanels
