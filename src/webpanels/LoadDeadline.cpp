#include "webpanels/LoadDeadline.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QImage>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <algorithm>
#include <optional>
#include <utility>

namespace qv::webpanels {

namespace {

// What the page shows of its load: the document's start (to tell a document of this load from the
// one still shown while it has not arrived), how far it is, how much of it there is, the requests
// that ended, and where on the screen pictures are still filling in. Read in a world of our own,
// where the page's scripts cannot change what it answers.
const char* const lookScript = R"JS((() => {
  const d = document, root = d.documentElement, pictures = [];
  let complete = 0;
  for (const image of d.images) {
    if (image.complete) { ++complete; continue; }
    const r = image.getBoundingClientRect();
    if (pictures.length < 8 && r.width > 0 && r.height > 0 && r.right > 0 && r.bottom > 0 &&
        r.left < innerWidth && r.top < innerHeight)
      pictures.push([r.left, r.top, r.width, r.height]);
  }
  return {started: performance.timeOrigin, state: d.readyState,
          content: [d.getElementsByTagName('*').length, root ? root.textContent.length : 0,
                    performance.getEntriesByType('resource').length, complete].join(','),
          pictures};
})())JS";

// A document begun after the load was (within the clocks' rounding) is the load's.
constexpr qint64 startSlackMs = 50;

const char* const documentStartScript = "performance.timeOrigin";

// Whether the page shows a whole document (not the engine's error page), and when it began.
const char* const wholeDocumentScript =
    "({started: performance.timeOrigin, whole: document.readyState === 'complete' &&"
    " !location.href.startsWith('chrome-error:')})";

// After a failure: how often and how many times the page is looked at.
constexpr int afterFailureLookMs = 200;
constexpr int afterFailureLooks = 25;

}  // namespace

// Every request the page makes (documents, scripts, pictures, frames) is something arriving.
class LoadDeadline::Arrivals : public QWebEngineUrlRequestInterceptor {
public:
    explicit Arrivals(LoadDeadline* deadline)
        : QWebEngineUrlRequestInterceptor(deadline), deadline_(deadline) {}
    void interceptRequest(QWebEngineUrlRequestInfo&) override {
        QMetaObject::invokeMethod(
            this, [this] { deadline_->noteArrival(); }, Qt::QueuedConnection);
    }

private:
    LoadDeadline* deadline_;
};

LoadDeadline::LoadDeadline(std::function<void()> expired, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), lookTimer_(new QTimer(this)), expired_(std::move(expired)) {
    timer_->setSingleShot(true);
    timer_->setInterval(defaultMs);
    lookTimer_->setInterval(defaultMs / 4);
    connect(timer_, &QTimer::timeout, this, [this] { look(/*deadlinePassed=*/true); });
    connect(lookTimer_, &QTimer::timeout, this, [this] { look(/*deadlinePassed=*/false); });
}

LoadDeadline::~LoadDeadline() { unwatch(); }

void LoadDeadline::unwatch() {
    ++load_;  // what the page still answers is for no load
    timer_->stop();
    lookTimer_->stop();
    if (view_ && view_->page() && arrivals_) view_->page()->setUrlRequestInterceptor(nullptr);
    view_ = nullptr;
}

void LoadDeadline::watch(QWebEngineView* view) {
    view_ = view;
    QWebEnginePage* page = view->page();
    arrivals_ = new Arrivals(this);
    page->setUrlRequestInterceptor(arrivals_);
    connect(page, &QWebEnginePage::loadProgress, this, &LoadDeadline::noteArrival);
    connect(page, &QWebEnginePage::contentsSizeChanged, this, &LoadDeadline::noteArrival);
    connect(page, &QWebEnginePage::titleChanged, this, &LoadDeadline::noteArrival);
    connect(page, &QWebEnginePage::iconChanged, this, &LoadDeadline::noteArrival);
}

void LoadDeadline::setInterval(int ms) {
    timer_->setInterval(ms);
    lookTimer_->setInterval(std::max(ms / 4, 1));
}

int LoadDeadline::interval() const { return timer_->interval(); }

void LoadDeadline::start(const QUrl& url) {
    url_ = url;
    expiredLoad_ = false;
    documentArrived_ = false;
    seen_.clear();
    startedAt_ = QDateTime::currentMSecsSinceEpoch();
    shownBefore_.reset();
    ++load_;
    timer_->start();
    if (!view_ || !view_->page()) return;
    lookTimer_->start();
    // The document shown as the load begins: another one is the load's (also when the engine
    // tells of a load the page began itself only a while after it began).
    view_->page()->runJavaScript(QString::fromLatin1(documentStartScript), QWebEngineScript::ApplicationWorld,
                                 [self = QPointer<LoadDeadline>(this), load = load_](const QVariant& v) {
                                     if (self && self->load_ == load) self->shownBefore_ = v.toDouble();
                                 });
}

void LoadDeadline::noteArrival() {
    if (timer_->isActive()) timer_->start();
}

void LoadDeadline::look(bool deadlinePassed) {
    if (!view_ || !view_->page()) {
        if (deadlinePassed) lookedAt({}, true);
        return;
    }
    view_->page()->runJavaScript(
        QString::fromLatin1(lookScript), QWebEngineScript::ApplicationWorld,
        [self = QPointer<LoadDeadline>(this), load = load_, deadlinePassed](const QVariant& v) {
            if (self && self->load_ == load) self->lookedAt(v, deadlinePassed);
        });
}

void LoadDeadline::lookedAt(const QVariant& state, bool deadlinePassed) {
    if (!deadlinePassed && !timer_->isActive()) return;  // the load ended meanwhile
    const QVariantMap page = state.toMap();
    // Until the load's document arrives, the page still shows the one before it: what that one
    // does is no sign of this load.
    const double started = page.value(QStringLiteral("started")).toDouble();
    if (started >= double(startedAt_ - startSlackMs) || (shownBefore_ && started != *shownBefore_)) {
        documentArrived_ = true;
        const QString seen = page.value(QStringLiteral("state")).toString() + QLatin1Char(';') +
                             page.value(QStringLiteral("content")).toString() + QLatin1Char(';') +
                             picturesOf(page.value(QStringLiteral("pictures")).toList());
        if (seen != std::exchange(seen_, seen)) {
            timer_->start();
            return;
        }
    }
    if (!deadlinePassed) return;
    lookTimer_->stop();
    expiredLoad_ = true;
    if (expired_) expired_();
}

QString LoadDeadline::picturesOf(const QVariantList& rects) const {
    // Pictures fill in as their bytes arrive: what the screen shows of those still loading.
    if (rects.isEmpty() || !view_ || !view_->isVisible()) return {};
    const QImage shown = view_->grab().toImage();
    const double zoom = view_->zoomFactor() * shown.devicePixelRatio();
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (const QVariant& rect : rects) {
        const QVariantList r = rect.toList();
        if (r.size() != 4) continue;
        const QRect area = QRect(int(r[0].toDouble() * zoom), int(r[1].toDouble() * zoom),
                                 int(r[2].toDouble() * zoom), int(r[3].toDouble() * zoom))
                               .intersected(shown.rect());
        if (area.isEmpty()) continue;
        const QImage part = shown.copy(area);
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(part.constBits()), part.sizeInBytes()));
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString LoadDeadline::expiredMessage(const QString& what) const {
    return QStringLiteral("The %1 did not finish loading: nothing of it arrived for %2 seconds.")
        .arg(what)
        .arg(interval() / 1000.0);
}

QString LoadDeadline::expiredDescription(const QString& what) const {
    return QStringLiteral("Error Domain=Timeout \"%1\" URL=%2").arg(expiredMessage(what), url_.toString());
}

bool LoadDeadline::follow(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        // The report of a load begun here already starts nothing new.
        if (!(timer_->isActive() && info.url() == url_)) start(info.url());
        return true;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        timer_->stop();
        lookTimer_->stop();
        expiredLoad_ = false;
        return true;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        timer_->stop();
        lookTimer_->stop();
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && !expiredLoad_)
            lookAfterFailure(afterFailureLooks);
        return !std::exchange(expiredLoad_, false);
    }
    return true;
}

void LoadDeadline::lookAfterFailure(int looksLeft) {
    if (!view_ || !view_->page() || looksLeft <= 0) return;
    QTimer::singleShot(afterFailureLookMs, this, [this, looksLeft, load = load_] {
        if (load_ != load || !view_ || !view_->page()) return;  // another load began meanwhile
        view_->page()->runJavaScript(
            QString::fromLatin1(wholeDocumentScript), QWebEngineScript::ApplicationWorld,
            [self = QPointer<LoadDeadline>(this), looksLeft, load](const QVariant& v) {
                if (!self || self->load_ != load) return;
                const QVariantMap page = v.toMap();
                const double started = page.value(QStringLiteral("started")).toDouble();
                const bool ofThisLoad = started >= double(self->startedAt_ - startSlackMs) ||
                                        (self->shownBefore_ && started != *self->shownBefore_);
                if (ofThisLoad && page.value(QStringLiteral("whole")).toBool()) {
                    ++self->load_;  // told once
                    emit self->arrivedAfterFailure();
                    return;
                }
                self->lookAfterFailure(looksLeft - 1);
            });
    });
}

}  // namespace qv::webpanels
