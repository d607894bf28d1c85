#include "state/NotificationCenter.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace qv::app {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(QObject* owner, const QString& name, Handler handler) {
    std::lock_guard lock(mutex_);
    Token token = nextToken_++;
    observers_.push_back({token, owner, owner != nullptr, name, std::make_shared<Handler>(std::move(handler))});
    if (owner) {
        QObject::connect(owner, &QObject::destroyed, owner, [this, token] { removeObserver(token); },
                         Qt::DirectConnection);
    }
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const Observer& o) { return o.token == token; });
}

void NotificationCenter::removeObservers(QObject* owner) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [owner](const Observer& o) { return o.owner == owner; });
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        {
            std::lock_guard lock(pendingMutex_);
            pending_.push_back({name, userInfo});
        }
        QMetaObject::invokeMethod(app, [this] { deliverPending(); }, Qt::QueuedConnection);
        return;
    }
    deliver({name, userInfo});
}

void NotificationCenter::deliverPending() {
    // One queued call per post, but each call takes only the oldest: order is kept even when a
    // main-thread post happens in between.
    Notification next;
    {
        std::lock_guard lock(pendingMutex_);
        if (pending_.empty()) return;
        next = std::move(pending_.front());
        pending_.pop_front();
    }
    deliver(next);
}

void NotificationCenter::deliver(const Notification& notification) {
    // Handlers may add or remove observers (or destroy their owners) while we deliver: take the
    // matching handlers first, and check each one is still registered before calling it.
    std::vector<std::pair<Token, std::shared_ptr<Handler>>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& o : observers_)
            if (o.name == notification.name) targets.emplace_back(o.token, o.handler);
    }
    for (const auto& [token, handler] : targets) {
        bool live = false;
        {
            std::lock_guard lock(mutex_);
            for (const auto& o : observers_)
                if (o.token == token) live = !o.hasOwner || o.owner;
        }
        if (live) (*handler)(notification);
    }
}

void post(const QString& name, const QVariantMap& userInfo) { NotificationCenter::defaultCenter().post(name, userInfo); }

}  // namespace qv::app
