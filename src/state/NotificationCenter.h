#pragma once
// The in-process notification bus. Observers run on the main thread, in posting order. Posting
// on the main thread delivers at once (as the observers expect of a platform notification
// centre); posting from any other thread hands the notification to the main thread's queue.
// An observer registered with an owner is removed when that owner is destroyed.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace qv::app {

struct Notification {
    QString name;
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    static NotificationCenter& defaultCenter();

    // `owner` lives on the main thread; the observer goes with it. Returns a token for removeObserver.
    Token addObserver(QObject* owner, const QString& name, Handler handler);
    void removeObserver(Token token);
    void removeObservers(QObject* owner);

    void post(const QString& name, const QVariantMap& userInfo = {});

private:
    struct Observer {
        Token token;
        QPointer<QObject> owner;
        bool hasOwner;
        QString name;
        std::shared_ptr<Handler> handler;
    };
    void deliver(const Notification& notification);
    void deliverPending();

    std::mutex mutex_;
    std::vector<Observer> observers_;
    // Posts from other threads wait here, in order, until the main thread drains them.
    std::mutex pendingMutex_;
    std::deque<Notification> pending_;
    Token nextToken_ = 1;
};

// Shorthand for NotificationCenter::defaultCenter().post(...).
void post(const QString& name, const QVariantMap& userInfo = {});

}  // namespace qv::app
