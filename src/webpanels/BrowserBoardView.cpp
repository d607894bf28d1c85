#include "webpanels/BrowserBoardView.h"

#include <QFileInfo>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
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
#include "webpanels/BrowserWebView.h"
#include "webpanels/LoadDeadline.h"
#include "webpanels/NavigationPolicy.h"
#include "webpanels/Resources.h"
#include "webpanels/SeeThroughView.h"

namespace qv::webpanels {

bool BrowserBoardViewController::decidePolicyForNavigation(const QUrl& url) {
    return followNavigationDecision(decideBoardNavigation(url, QString::fromUtf8(util::build::boardHost), whiteboardPagePath()), url,
                                    [this](const QUrl& file) { openLocalFile(file); });
}

void BrowserBoardViewController::openLocalFile(const QUrl& url) { openLocalFileLink(url); }

void BoardFileLinks::openLink(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("file")) return;
    controller_->decidePolicyForNavigation(url);
}

BrowserBoardPage::BrowserBoardPage(QWebEngineProfile* profile, BrowserBoardViewController* controller, QObject* parent)
    : QWebEnginePage(profile, parent), controller_(controller) {}

bool BrowserBoardPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    return controller_->decidePolicyForNavigation(url);
}

QStringList BrowserBoardPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) {
    if (auto chosen = BrowserWebView::dialogs().chooseFile(QWebEngineView::forPage(this))) return {*chosen};
    return {};
}

BrowserBoardView::BrowserBoardView(QWidget* parent)
    : QWidget(parent),
      controller_(new BrowserBoardViewController(this)),
      profile_(new QWebEngineProfile(this)),
      view_(new QWebEngineView(this)),
      page_(new BrowserBoardPage(profile_, controller_, view_)),
      channel_(new QWebChannel(this)),
      loadDeadline_(new LoadDeadline([this] { loadTimedOut(); }, this)) {
    setObjectName(QStringLiteral("browserBoardView"));
    view_->setAttribute(Qt::WA_TranslucentBackground);
    keepSeeThrough(view_);
    page_->setBackgroundColor(Qt::transparent);
    installAppScheme(profile_);  // our own board page, while the hosted one cannot load
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // A board that cannot load shows nothing (no error page over the browsed page).
    page_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    // File links reach the navigation policy through a script of our own, in a world of its own
    // that the board page's scripts cannot reach.
    QWebEngineScript fileLinks;
    fileLinks.setName(QStringLiteral("boardFileLinks"));
    fileLinks.setSourceCode(boardFileLinkScript());
    fileLinks.setInjectionPoint(QWebEngineScript::DocumentCreation);
    fileLinks.setWorldId(QWebEngineScript::ApplicationWorld);
    fileLinks.setRunsOnSubFrames(false);  // the channel reaches the main frame
    page_->scripts().insert(fileLinks);
    channel_->registerObject(QStringLiteral("boardLinks"), new BoardFileLinks(controller_, channel_));
    page_->setWebChannel(channel_, QWebEngineScript::ApplicationWorld);
    view_->setPage(page_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(page_, &QWebEnginePage::loadingChanged, this, &BrowserBoardView::reportLoading);
}

void BrowserBoardView::reportLoading(const QWebEngineLoadingInfo& info) {
    if (!loadDeadline_->follow(info)) return;  // a timed-out load, reported already
    if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
        util::printLine(QStringLiteral("didFinish"));
        // A board that came after the annotate button was pressed draws as the button shows.
        if (!annotationScript_.isEmpty()) page_->runJavaScript(annotationScript_);
    } else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
        const bool provisional = info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain;
        util::printLine(provisional ? QStringLiteral("didFail") : QStringLiteral("didFail.........."));
        util::printLine(QStringLiteral("Error Code=%1 \"%2\" URL=%3")
                            .arg(info.errorCode())
                            .arg(info.errorString(), info.url().toString()));
        showLocalBoard();
    }
}

void BrowserBoardView::loadTimedOut() {
    // Stopped, printed as a failed load, and our own board page takes its place.
    view_->stop();
    util::printLine(QStringLiteral("didFail"));
    util::printLine(loadDeadline_->expiredDescription(QStringLiteral("board page")));
    showLocalBoard();
}

void BrowserBoardView::showLocalBoard() {
    // Offline (or with the board's site down) the hosted page leaves an empty document that
    // defines no allowAnnotation: the pen would take the clicks and draw nothing. Our own board
    // page stands in; it is transparent until drawing is switched on.
    const QUrl local = localBoardPageAddress();
    if (loadDeadline_->url() == local) return;  // it failed itself: the board stays empty
    if (!QFileInfo(whiteboardPagePath()).isFile()) {
        util::printLine(QStringLiteral("The board page is missing: ") + whiteboardPagePath());
        return;
    }
    view_->load(local);
    loadDeadline_->start(local);
}

QUrl BrowserBoardView::localBoardPageAddress() { return whiteboardPageUrl(); }

void BrowserBoardView::setLoadTimeout(int ms) { loadDeadline_->setInterval(ms); }

BrowserBoardView::~BrowserBoardView() { delete view_; }

QUrl BrowserBoardView::boardPageAddress() {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QString::fromUtf8(util::build::boardHost));
    url.setPath(QStringLiteral("/wendle/mac"));
    return url;
}

void BrowserBoardView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateView();
}

void BrowserBoardView::updateView() {
    app::browserBoardView = this;
    if (loaded_) return;
    loaded_ = true;
    view_->load(boardPageAddress());
    loadDeadline_->start(boardPageAddress());
}

void BrowserBoardView::evaluateScript(const QString& script) {
    if (script.startsWith(QLatin1String("allowAnnotation("))) annotationScript_ = script;
    page_->runJavaScript(script);
}

}  // namespace qv::webpanels
