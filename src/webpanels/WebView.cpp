#include "webpanels/WebView.h"

#include <QApplication>
#include <utility>
#include <QFileInfo>
#include <QFontInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QMetaEnum>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "webpanels/AppScheme.h"
#include "webpanels/InjectedScripts.h"
#include "webpanels/LoadDeadline.h"
#include "webpanels/Resources.h"
#include "webpanels/WebViewController.h"
#include "webpanels/WhiteboardPage.h"

namespace qv::webpanels {

namespace {

QWebEngineScript makeScript(const QString& name, const QString& source, QWebEngineScript::InjectionPoint when) {
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(when);
    script.setWorldId(QWebEngineScript::MainWorld);  // the page's own scripts call into it
    script.setRunsOnSubFrames(true);
    return script;
}

// The page's texts in the program's own font.
QString programFontScript() {
    const QString family = QFontInfo(QApplication::font()).family();
    const QString css = QString::fromUtf8(QJsonDocument(QJsonArray{QStringLiteral("\"%1\", sans-serif").arg(family)})
                                              .toJson(QJsonDocument::Compact));
    return QStringLiteral("document.documentElement.style.setProperty('--program-font', %1[0]);").arg(css);
}

}  // namespace

WebView::WebView(QWidget* parent)
    : QWidget(parent),
      controller_(new WebViewController(this)),
      profile_(new QWebEngineProfile(this)),  // off the record: the whiteboard keeps nothing on disk
      view_(new QWebEngineView(this)),
      page_(new WhiteboardPage(profile_, controller_, view_)),
      channel_(new QWebChannel(this)),
      loadDeadline_(new LoadDeadline([this] { pageLoadTimedOut(); }, this)) {
    installAppScheme(profile_);
    // The camera picture below shows through wherever the page is transparent.
    view_->setAttribute(Qt::WA_TranslucentBackground);
    page_->setBackgroundColor(Qt::transparent);

    page_->scripts().insert(makeScript(QStringLiteral("swiftMessageHandler"), messageHandlerScript(),
                                       QWebEngineScript::DocumentCreation));
    page_->scripts().insert(makeScript(QStringLiteral("gestures"), gestureScript(), QWebEngineScript::DocumentReady));
    page_->scripts().insert(makeScript(QStringLiteral("programFont"), programFontScript(), QWebEngineScript::DocumentReady));
    const QString family = QFontInfo(QApplication::font()).family();
    page_->settings()->setFontFamily(QWebEngineSettings::StandardFont, family);
    page_->settings()->setFontFamily(QWebEngineSettings::SansSerifFont, family);
    channel_->registerObject(QStringLiteral("swiftMessageHandler"), new ScriptMessageHandler(controller_, this));
    page_->setWebChannel(channel_);

    // The page, loaded from a file, reads other local files and asks other origins (the local server).
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    view_->setPage(page_);
    loadDeadline_->watch(view_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    controller_->setScriptEvaluator([page = QPointer<WhiteboardPage>(page_)](const QString& script) {
        if (page) page->runJavaScript(script);
    });
    // Rectangles of the page on the screen, in device pixels (the window system's own).
    controller_->setViewToScreen([view = QPointer<QWebEngineView>(view_)](const QRect& r) {
        if (!view) return r;
        const QPoint topLeft = view->mapToGlobal(r.topLeft());
        const qreal ratio = view->devicePixelRatioF();
        return QRect(qRound(topLeft.x() * ratio), qRound(topLeft.y() * ratio), qRound(r.width() * ratio),
                     qRound(r.height() * ratio));
    });
    connect(page_, &QWebEnginePage::loadingChanged, this, &WebView::reportLoading);
    loadDeadline_->setInterval(pageLoadTimeoutMs);
}

void WebView::setPageLoadTimeout(int ms) { loadDeadline_->setInterval(ms); }

void WebView::pageLoadTimedOut() {
    // A page that never finishes loading is stopped and reported like any failed load.
    view_->stop();
    const QString what = QStringLiteral("whiteboard page");
    controller_->didFailNavigation(loadDeadline_->expiredMessage(what), loadDeadline_->expiredDescription(what), false);
}

void WebView::setCoveredRegion(const QRegion& covered) {
    if (covered == covered_) return;
    covered_ = covered;
    sendCover();
}

void WebView::sendCover() {
    QJsonArray rects;
    for (const QRect& r : covered_) rects.append(QJsonArray{r.x(), r.y(), r.width(), r.height()});
    page_->runJavaScript(QStringLiteral("window.marrowPanel && marrowPanel.setCovered(%1)")
                             .arg(QString::fromUtf8(QJsonDocument(rects).toJson(QJsonDocument::Compact))));
}

WebView::~WebView() {
    loadDeadline_->unwatch();  // the page answers its pending scripts as it goes
    // The page must go before the profile it belongs to.
    delete view_;
}

void WebView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateView();
}

void WebView::updateView() {
    if (app::whiteboardWebView) return;  // one page load per process
    const QString pageFile = whiteboardPagePath();
    controller_->setPageFile(pageFile);
    app::whiteboardWebView = this;
    const QString showLoading = QString::fromLatin1(app::notification::showLoadingMarrowPanel);
    if (!QFileInfo(pageFile).isFile()) {
        const QString message = QStringLiteral("The whiteboard page is missing: ") + pageFile;
        util::printLine(message);
        app::post(showLoading, {{QStringLiteral("show"), true}, {QStringLiteral("message"), message}});
        return;
    }
    view_->load(whiteboardPageUrl());
    loadDeadline_->start(whiteboardPageUrl());
    app::post(showLoading, {{QStringLiteral("show"), true}, {QStringLiteral("message"), QString()}});
}

void WebView::evaluateScript(const QString& script) { page_->runJavaScript(script); }

void WebView::takeSnapshot(SnapshotCompletion completion) {
    // The page gives the picture of what was drawn: its toolbar stays out, and so do the places
    // it leaves empty under the program's panels.
    if (!view_->isVisible() || view_->size().isEmpty()) {
        QTimer::singleShot(0, [completion] { completion(QImage(), QStringLiteral("The whiteboard is not shown")); });
        return;
    }
    auto pending = std::make_shared<SnapshotCompletion>(std::move(completion));
    auto finish = [pending](const QImage& picture, const QString& error) {
        if (!*pending) return;  // exactly once
        auto done = std::move(*pending);
        *pending = nullptr;
        done(picture, error);
    };
    const QSize size = view_->size();
    page_->runJavaScript(
        QStringLiteral("window.marrowPanel && marrowPanel.snapshotPicture ? marrowPanel.snapshotPicture() : null"),
        [finish, size](const QVariant& result) {
            const QString data = result.toString();
            const QString prefix = QStringLiteral("data:image/png;base64,");
            if (!result.isValid() || result.isNull() || data.isEmpty()) {
                // The page has not drawn anything yet (still loading): an empty picture.
                QImage empty(size, QImage::Format_ARGB32_Premultiplied);
                empty.fill(Qt::transparent);
                finish(empty, QString());
                return;
            }
            QImage picture;
            if (data.startsWith(prefix)) picture.loadFromData(QByteArray::fromBase64(data.mid(prefix.size()).toLatin1()), "PNG");
            if (picture.isNull()) {
                finish(QImage(), QStringLiteral("The whiteboard could not be drawn"));
                return;
            }
            if (picture.size() != size) picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            picture.setDevicePixelRatio(1.0);
            finish(picture.convertToFormat(QImage::Format_ARGB32_Premultiplied), QString());
        });
    // A busy or crashed renderer never answers.
    constexpr int unansweredMs = 5000;
    QTimer::singleShot(unansweredMs, [finish] { finish(QImage(), QStringLiteral("The whiteboard did not answer")); });
}

void WebView::reportLoading(const QWebEngineLoadingInfo& info) {
    // The stop of a timed-out load was reported already.
    if (!loadDeadline_->follow(info)) return;
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        sendCover();
        controller_->didFinishNavigation();
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
        const QString debugDescription = QStringLiteral("Error Domain=%1 Code=%2 \"%3\" URL=%4")
                                             .arg(QString::fromLatin1(QMetaEnum::fromType<QWebEngineLoadingInfo::ErrorDomain>()
                                                                          .valueToKey(info.errorDomain())))
                                             .arg(info.errorCode())
                                             .arg(info.errorString(), info.url().toString());
        // Status codes arrive with the page; every other error stops the load before it began.
        const bool provisional = info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain;
        controller_->didFailNavigation(info.errorString(), debugDescription, provisional);
        return;
    }
    default:
        return;
    }
}

}  // namespace qv::webpanels
