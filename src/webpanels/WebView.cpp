#include "webpanels/WebView.h"

#include <QFileInfo>
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

}  // namespace

WebView::WebView(QWidget* parent)
    : QWidget(parent),
      controller_(new WebViewController(this)),
      profile_(new QWebEngineProfile(this)),  // off the record: the whiteboard keeps nothing on disk
      view_(new QWebEngineView(this)),
      page_(new WhiteboardPage(profile_, controller_, view_)),
      channel_(new QWebChannel(this)) {
    installAppScheme(profile_);
    // The camera picture below shows through wherever the page is transparent.
    view_->setAttribute(Qt::WA_TranslucentBackground);
    page_->setBackgroundColor(Qt::transparent);

    page_->scripts().insert(makeScript(QStringLiteral("swiftMessageHandler"), messageHandlerScript(),
                                       QWebEngineScript::DocumentCreation));
    page_->scripts().insert(makeScript(QStringLiteral("gestures"), gestureScript(), QWebEngineScript::DocumentReady));
    channel_->registerObject(QStringLiteral("swiftMessageHandler"), new ScriptMessageHandler(controller_, this));
    page_->setWebChannel(channel_);

    // The page, loaded from a file, reads other local files and asks other origins (the local server).
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    view_->setPage(page_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    controller_->setScriptEvaluator([page = QPointer<WhiteboardPage>(page_)](const QString& script) {
        if (page) page->runJavaScript(script);
    });
    connect(page_, &QWebEnginePage::loadingChanged, this, &WebView::reportLoading);
}

WebView::~WebView() {
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
    app::post(showLoading, {{QStringLiteral("show"), true}, {QStringLiteral("message"), QString()}});
}

void WebView::evaluateScript(const QString& script) { page_->runJavaScript(script); }

void WebView::takeSnapshot(SnapshotCompletion completion) {
    // What the page drew last is on screen only after the engine composited it: a script round
    // trip lets the page finish what it was doing, and a few frames later the picture is current.
    constexpr int compositingFramesMs = 50;
    auto grabNow = [self = QPointer<WebView>(this), completion = std::move(completion)] {
        if (!self) {
            completion(QImage(), QStringLiteral("The whiteboard is gone"));
            return;
        }
        QWebEngineView* view = self->view_;
        if (!view->isVisible() || view->size().isEmpty()) {
            completion(QImage(), QStringLiteral("The whiteboard is not shown"));
            return;
        }
        QImage picture = view->grab().toImage();
        if (picture.isNull()) {
            completion(QImage(), QStringLiteral("The whiteboard could not be drawn"));
            return;
        }
        if (picture.size() != view->size())
            picture = picture.scaled(view->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        picture.setDevicePixelRatio(1.0);
        completion(picture.convertToFormat(QImage::Format_ARGB32_Premultiplied), QString());
    };
    // Exactly once, also when the page does not answer (a busy or crashed renderer).
    constexpr int unansweredMs = 1000;
    auto pending = std::make_shared<std::function<void()>>(std::move(grabNow));
    auto grabOnce = [pending] {
        if (!*pending) return;
        auto grab = std::move(*pending);
        *pending = nullptr;
        grab();
    };
    page_->runJavaScript(QStringLiteral("0"),
                         [grabOnce](const QVariant&) { QTimer::singleShot(compositingFramesMs, grabOnce); });
    QTimer::singleShot(unansweredMs, grabOnce);
}

void WebView::reportLoading(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadSucceededStatus:
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
