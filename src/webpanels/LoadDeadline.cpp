#include "webpanels/LoadDeadline.h"

#include <QTimer>
#include <QWebEngineLoadingInfo>

#include <utility>

namespace qv::webpanels {

LoadDeadline::LoadDeadline(std::function<void()> expired, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), expired_(std::move(expired)) {
    timer_->setSingleShot(true);
    timer_->setInterval(defaultMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        expiredLoad_ = true;
        if (expired_) expired_();
    });
}

void LoadDeadline::setInterval(int ms) { timer_->setInterval(ms); }

int LoadDeadline::interval() const { return timer_->interval(); }

void LoadDeadline::start(const QUrl& url) {
    url_ = url;
    expiredLoad_ = false;
    timer_->start();
}

QString LoadDeadline::expiredMessage(const QString& what) const {
    return QStringLiteral("The %1 did not load within %2 seconds.").arg(what).arg(interval() / 1000.0);
}

QString LoadDeadline::expiredDescription(const QString& what) const {
    return QStringLiteral("Error Domain=Timeout \"%1\" URL=%2").arg(expiredMessage(what), url_.toString());
}

bool LoadDeadline::follow(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        start(info.url());
        return true;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        timer_->stop();
        expiredLoad_ = false;
        return true;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        timer_->stop();
        return !std::exchange(expiredLoad_, false);
    }
    return true;
}

}  // namespace qv::webpanels
