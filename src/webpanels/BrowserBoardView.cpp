#include "webpanels/BrowserBoardView.h"

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
#include "webpanels/BrowserDialogs.h"
#include "webpanels/BrowserScripts.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/NavigationPolicy.h"
#include "webpanels/SeeThroughView.h"

namespace qv::webpanels {

bool BrowserBoardViewController::decidePolicyForNavigation(const QUrl& url) {
    return followNavigationDecision(decideBoardNavigation(url, QString::fromUtf8(util::build::boardHost)), url,
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
      channel_(new QWebChannel(this)) {
    setObjectName(QStringLiteral("browserBoardView"));
    view_->setAttribute(Qt::WA_TranslucentBackground);
    keepSeeThrough(view_);
    page_->setBackgroundColor(Qt::transparent);
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
    connect(page_, &QWebEnginePage::loadingChanged, this, [](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
            util::printLine(QStringLiteral("didFinish"));
        } else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
            const bool provisional = info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain;
            util::printLine(provisional ? QStringLiteral("didFail") : QStringLiteral("didFail.........."));
            util::printLine(QStringLiteral("Error Code=%1 \"%2\" URL=%3")
                                .arg(info.errorCode())
                                .arg(info.errorString(), info.url().toString()));
        }
    });
}

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
}

void BrowserBoardView::evaluateScript(const QString& script) { page_->runJavaScript(script); }

}  // namespace qv::webpanels
