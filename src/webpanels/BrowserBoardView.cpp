#include "webpanels/BrowserBoardView.h"

#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QVBoxLayout>
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

BrowserBoardPage::BrowserBoardPage(QWebEngineProfile* profile, BrowserBoardViewController* controller,
                                   QObject* parent)
    : QWebEnginePage(profile, parent), controller_(controller) {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    for (const quint32 word : words) linkToken_ += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
}

void BrowserBoardPage::openLink(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("file")) return;
    controller_->decidePolicyForNavigation(url);
}

void BrowserBoardPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                                const QString&) {
    const QString mark = linkToken_ + QLatin1Char(' ');
    if (!message.startsWith(mark)) return;
    // Handed on from the event loop: opening a PDF replaces the panel, and with it this page,
    // which must not go while the engine is still telling it of the message.
    QTimer::singleShot(0, this, [this, address = message.mid(mark.size())] { openLink(address); });
}

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
    // that the board page's scripts cannot reach, in the page and in every frame of it.
    QWebEngineScript fileLinks;
    fileLinks.setName(QStringLiteral("boardFileLinks"));
    fileLinks.setSourceCode(boardFileLinkScript(page_->linkToken()));
    fileLinks.setInjectionPoint(QWebEngineScript::DocumentCreation);
    fileLinks.setWorldId(QWebEngineScript::ApplicationWorld);
    fileLinks.setRunsOnSubFrames(true);
    page_->scripts().insert(fileLinks);
    view_->setPage(page_);
    loadDeadline_->watch(view_);
    connect(loadDeadline_, &LoadDeadline::arrivedAfterFailure, this, [this] {
        // The board page came whole after all: it stays, drawing as the annotate button shows.
        util::printLine(QStringLiteral("didFinish"));
        if (!annotationScript_.isEmpty()) page_->runJavaScript(annotationScript_);
    });
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
        keepDrawnBoardOrShowLocal();
    }
}

void BrowserBoardView::loadTimedOut() {
    // Nothing arrived for the whole deadline: stopped and printed as a failed load.
    view_->stop();
    util::printLine(QStringLiteral("didFail"));
    util::printLine(loadDeadline_->expiredDescription(QStringLiteral("board page")));
    keepDrawnBoardOrShowLocal();
}

void BrowserBoardView::keepDrawnBoardOrShowLocal() {
    // A board that has drawn (the hosted one that came slowly, or the page shown before a link
    // that led nowhere) stays with its ink; only an empty board makes way for ours.
    page_->runJavaScript(QStringLiteral("performance.getEntriesByType('paint').length > 0"),
                         QWebEngineScript::ApplicationWorld,
                         [self = QPointer<BrowserBoardView>(this)](const QVariant& drawn) {
                             if (!self || self->closing_) return;
                             if (!drawn.toBool()) {
                                 self->showLocalBoard();
                                 return;
                             }
                             util::printLine(QStringLiteral("The board keeps the page it shows: ") +
                                             self->view_->url().toString());
                             if (!self->annotationScript_.isEmpty())
                                 self->page_->runJavaScript(self->annotationScript_);
                         });
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

BrowserBoardView::~BrowserBoardView() {
    // The page answers its pending scripts as it goes: nothing may reach it then.
    closing_ = true;
    loadDeadline_->unwatch();
    delete view_;
}

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
