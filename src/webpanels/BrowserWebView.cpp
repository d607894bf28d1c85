#include "webpanels/BrowserWebView.h"

#include <QGraphicsOpacityEffect>
#include <QMetaEnum>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "state/AppState.h"
#include "state/QtPrint.h"
#include "util/BuildInfo.h"
#include "webpanels/AppScheme.h"
#include "webpanels/BrowserDialogs.h"
#include "webpanels/BrowserScripts.h"
#include "webpanels/BrowserView.h"
#include "webpanels/LoadDeadline.h"
#include "webpanels/PdfViewerActions.h"
#include "webpanels/PdfViewerAddress.h"
#include "webpanels/SeeThroughView.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qv::webpanels {

namespace {

std::shared_ptr<BrowserDialogs>& dialogsSlot() {
    static std::shared_ptr<BrowserDialogs> dialogs = desktopBrowserDialogs();
    return dialogs;
}

QWidget* viewOf(QWebEnginePage* page) { return QWebEngineView::forPage(page); }

// Stands in for the new window a link asks for: its first navigation goes to the desktop's
// browser, and it goes away without ever showing.
class NewWindowPage : public QWebEnginePage {
public:
    NewWindowPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
        // A window that never navigates does not stay.
        QTimer::singleShot(30000, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (isMainFrame && !handed_ && !url.isEmpty()) {
            handed_ = true;
            BrowserWebView::dialogs().openExternally(url);
            deleteLater();
        }
        return false;
    }

private:
    bool handed_ = false;
};

QWebEngineScript makeScript(const QString& name, const QString& source, QWebEngineScript::InjectionPoint when) {
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(when);
    script.setWorldId(QWebEngineScript::MainWorld);  // native calls reach updateInvert there
    script.setRunsOnSubFrames(true);
    return script;
}

}  // namespace

// --- BrowserPage ---

BrowserPage::BrowserPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    connect(this, &QWebEnginePage::newWindowRequested, this, &BrowserPage::requestNewWindow);
    connect(this, &QWebEnginePage::loadStarted, this, [this] { toldBlocked_ = false; });
}

void BrowserPage::requestNewWindow(QWebEngineNewWindowRequest& request) {
    // Only what the teacher's click or key led to: a page may not open windows on its own, at
    // load or on a timer (a request left unanswered opens nothing).
    if (!request.isUserInitiated()) {
        if (!std::exchange(toldBlocked_, true))
            util::printLine(
                QStringLiteral("A page asked for a new window without a click; none was opened: ") +
                request.requestedUrl().toString());
        return;
    }
    request.openIn(new NewWindowPage(profile(), this));
}

void BrowserPage::javaScriptAlert(const QUrl&, const QString& msg) { BrowserWebView::dialogs().alert(viewOf(this), msg); }

bool BrowserPage::javaScriptConfirm(const QUrl&, const QString& msg) {
    return BrowserWebView::dialogs().confirm(viewOf(this), msg);
}

bool BrowserPage::javaScriptPrompt(const QUrl&, const QString& msg, const QString&, QString* result) {
    // The field starts empty: the page's default text is not offered.
    const QString answer = BrowserWebView::dialogs().prompt(viewOf(this), msg);
    if (result) *result = answer;
    return true;
}

QStringList BrowserPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) {
    if (auto chosen = BrowserWebView::dialogs().chooseFile(viewOf(this))) return {*chosen};
    return {};
}

// --- BrowserWebView ---

void BrowserWebView::setDialogs(std::shared_ptr<BrowserDialogs> dialogs) {
    dialogsSlot() = dialogs ? std::move(dialogs) : desktopBrowserDialogs();
}

BrowserDialogs& BrowserWebView::dialogs() { return *dialogsSlot(); }

BrowserWebView::BrowserWebView(BrowserView* browserView, QWidget* parent)
    : QWidget(parent),
      browserView_(browserView),
      profile_(new QWebEngineProfile(this)),  // off the record: a panel keeps nothing on disk
      view_(new QWebEngineView(this)),
      page_(new BrowserPage(profile_, view_)),
      loadDeadline_(new LoadDeadline([this] { loadTimedOut(); }, this)) {
    setObjectName(QStringLiteral("browserWebView"));
    installAppScheme(profile_);  // the PDF viewer is one of the program's pages
    // Where the page draws no background, the camera picture shows through.
    view_->setAttribute(Qt::WA_TranslucentBackground);
    keepSeeThrough(view_);
    page_->setBackgroundColor(Qt::transparent);
    page_->scripts().insert(
        makeScript(QStringLiteral("updateInvert"), inversionScript(), QWebEngineScript::DocumentReady));
    page_->scripts().insert(makeScript(QStringLiteral("serverOrigin"), pdfServerOriginScript(),
                                       QWebEngineScript::DocumentCreation));
    // Pages loaded from our files (the PDF viewer) read local files and ask our server.
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    page_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    view_->setPage(page_);
    loadDeadline_->watch(view_);
    connect(loadDeadline_, &LoadDeadline::arrivedAfterFailure, this, [this] {
        // The page came whole after all: handled as any finished load.
        didFinishNavigation();
        emit navigationFinished(view_->url());
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(page_, &QWebEnginePage::loadingChanged, this, &BrowserWebView::reportLoading);
    // The PDF viewer's Download and Print.
    connect(profile_, &QWebEngineProfile::downloadRequested, this,
            [this](QWebEngineDownloadRequest* download) { saveViewerDownload(download, page_, this); });
    connect(page_, &QWebEnginePage::printRequested, this, [this] { printViewerDocument(page_, this); });
    setPageOpacity(browserView_ ? browserView_->opacityValue() : 1.0);
}

BrowserWebView::~BrowserWebView() {
    // The page answers its pending scripts as it goes: nothing may reach it then.
    closing_ = true;
    loadDeadline_->unwatch();
    // The page must go before the profile it belongs to.
    delete view_;
}

void BrowserWebView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateView();
}

void BrowserWebView::updateView() {
    app::browserWebView = this;
    showingBrowser_ = true;
    if (loadedStartPage_) return;
    loadedStartPage_ = true;
    load(startPage());
}

QUrl BrowserWebView::startPage() const {
    if (browserView_ && browserView_->pdfMode()) return pdfViewerAddress(app::pdfViewerQuery);
    if (browserView_ && browserView_->lessonsMode()) {
        if (app::globalOfflineMode) return QUrl(QStringLiteral("http://localhost:9080/index.html"));
        QUrl lessons;
        lessons.setScheme(QStringLiteral("https"));
        lessons.setHost(QString::fromUtf8(util::build::lessonsHost));
        lessons.setPath(QStringLiteral("/teacher"));
        lessons.setQuery(QStringLiteral("os=mac"));
        return lessons;
    }
    return QUrl(QStringLiteral("https://") + QString::fromLatin1(searchEngineHost) + QLatin1Char('/'));
}

void BrowserWebView::load(const QUrl& url) {
    // Protocol cache policy; the load's deadline stands in for the request's 60 s.
    view_->load(url);
    loadDeadline_->start(url);
}

void BrowserWebView::setLoadTimeout(int ms) { loadDeadline_->setInterval(ms); }

void BrowserWebView::loadTimedOut() {
    // Nothing arrived for the whole deadline: the rest of the load is stopped.
    const QUrl url = loadDeadline_->url();
    view_->stop();
    if (loadDeadline_->documentArrived()) {
        // The page shows what arrived of it, and is handled as a finished load: backgrounds,
        // inversion, the address and the arrows follow it.
        util::printLine(loadDeadline_->expiredDescription(QStringLiteral("page")));
        didFinishNavigation();
        emit navigationFinished(view_->url());
        return;
    }
    // Nothing of it came: reported as the engine reports a failed load.
    util::printLine(QStringLiteral("didFail"));
    util::printLine(loadDeadline_->expiredDescription(QStringLiteral("page")));
    emit navigationFailed(url);
}

void BrowserWebView::loadURL(const QString& text) {
    if (app::browserWebView) app::browserWebView->setShowingBrowser(true);
    if (const auto url = typedAddress(text)) load(*url);
}

std::optional<QUrl> BrowserWebView::typedAddress(const QString& text) {
    const bool hasScheme = text.startsWith(QLatin1String("https://")) || text.startsWith(QLatin1String("http://"));
    const QString address = hasScheme ? text : QStringLiteral("http://") + text;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    return url;
}

void BrowserWebView::openPDF(const QString& path) {
    if (browserView_) browserView_->setPdfMode(true);
    app::pdfViewerQuery = handPdfToViewer(path);
    load(pdfViewerAddress(app::pdfViewerQuery));
}

void BrowserWebView::evaluateScript(const QString& script) { page_->runJavaScript(script); }

void BrowserWebView::evaluateBackgroundScript(const QString& script) {
    page_->runJavaScript(script, [self = QPointer<BrowserWebView>(this)](const QVariant&) {
        if (self && !self->closing_) redrawWholePage(self->view_);
    });
}

void BrowserWebView::setPageOpacity(double opacity) {
    // The view is faded as drawn, not the document: a background colour of the page's body fills
    // the whole canvas, which no style of the document's elements fades. The page reaches the
    // window as a raster picture (software scene graph), so a widget effect sees all of it.
    // Each value gets a new effect: a kept one, given a new opacity, left the page on screen at
    // the old one until something else repainted it. Opaque, the page is drawn straight.
    opacity_ = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0;
    if (opacity_ >= 1.0) {
        setGraphicsEffect(nullptr);
    } else {
        auto* fade = new QGraphicsOpacityEffect;
        fade->setOpacity(opacity_);
        setGraphicsEffect(fade);
    }
}

void BrowserWebView::takeSnapshot(std::function<void(const QImage& picture)> completion) {
    // A script round trip lets the page finish its drawing; a few frames later it is on screen.
    constexpr int compositingFramesMs = 50;
    constexpr int unansweredMs = 1000;
    auto pending = std::make_shared<std::function<void()>>(
        [self = QPointer<BrowserWebView>(this), completion = std::move(completion)] {
            if (!self || !self->view_->isVisible() || self->view_->size().isEmpty()) {
                completion(QImage());
                return;
            }
            QImage picture = self->view_->grab().toImage();
            if (!picture.isNull() && picture.size() != self->view_->size())
                picture = picture.scaled(self->view_->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            picture.setDevicePixelRatio(1.0);
            completion(picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        });
    auto grabOnce = [pending] {
        if (!*pending) return;
        auto grab = std::move(*pending);
        *pending = nullptr;
        grab();
    };
    page_->runJavaScript(QStringLiteral("0"),
                         [grabOnce](const QVariant&) { QTimer::singleShot(compositingFramesMs, grabOnce); });
    QTimer::singleShot(unansweredMs, this, grabOnce);
}

void BrowserWebView::reportLoading(const QWebEngineLoadingInfo& info) {
    if (!loadDeadline_->follow(info)) return;  // a timed-out load, reported already
    if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
        didFinishNavigation();
        emit navigationFinished(info.url());
        return;
    }
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus) return;
    const bool provisional = info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain;
    util::printLine(provisional ? QStringLiteral("didFail") : QStringLiteral("didFail.........."));
    util::printLine(QStringLiteral("Error Domain=%1 Code=%2 \"%3\" URL=%4")
                        .arg(QString::fromLatin1(
                            QMetaEnum::fromType<QWebEngineLoadingInfo::ErrorDomain>().valueToKey(info.errorDomain())))
                        .arg(info.errorCode())
                        .arg(info.errorString(), info.url().toString()));
    emit navigationFailed(info.url());
}

void BrowserWebView::didFinishNavigation() {
    const bool invert = app::invertColor;
    const bool removeBackground = app::enableRemoveBackground;
    util::printLine(QStringLiteral("didFinish: %1, %2")
                        .arg(invert ? QStringLiteral("1.0") : QStringLiteral("0.0"),
                             removeBackground ? QStringLiteral("true") : QStringLiteral("false")));
    BrowserWebView* published = app::browserWebView ? app::browserWebView.data() : this;
    if (!removeBackground && app::globalPdfMode) published->evaluateScript(QString::fromLatin1(whitePageScript));
    published->evaluateBackgroundScript(updateInvertCall(invert, removeBackground));
    if (BrowserView* panel = published->browserView()) {
        panel->setNavigationState(view_->history()->canGoBack(), view_->history()->canGoForward());
        if (!view_->url().isEmpty()) panel->setAddress(view_->url().toString(QUrl::FullyEncoded));
    }
}

}  // namespace qv::webpanels
