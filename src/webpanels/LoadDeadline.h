#pragma once
// A deadline for each load of a page: the web engine has no time-out of its own for a request or
// a whole load, so a server that takes the connection and never answers keeps a page loading for
// ever. The deadline is one of silence, as a request's time-out is: whatever arrives for the load
// starts it again (the engine's progress, a new request of the page, the document growing, a
// picture of the page filling in), so a slow page that keeps arriving is never cut. A load that
// nothing arrived for during the whole deadline is the owner's to stop and report (`expired`), and
// the engine's own report of that stop is then left out. Main thread only.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineView;

namespace qv::webpanels {

class LoadDeadline : public QObject {
    Q_OBJECT
public:
    // The time a load may go without anything arriving: the 60 seconds of the pages' requests.
    static constexpr int defaultMs = 60000;

    LoadDeadline(std::function<void()> expired, QObject* parent);
    ~LoadDeadline() override;

    // Follows what arrives for the loads of `view`'s page (its page must be set already).
    void watch(QWebEngineView* view);
    // Stops following the view, for good: its owner calls this before the view goes, as the page
    // answers the scripts it still owes while it is being destroyed.
    void unwatch();

    void setInterval(int ms);
    int interval() const;
    // Starts the deadline for a load of `url` begun now (a load's start report does the same).
    void start(const QUrl& url);
    // Something arrived for the load under way: its deadline starts again.
    void noteArrival();
    // The address of the load the deadline is for.
    QUrl url() const { return url_; }
    // True once the page shows a document of the load under way (it has begun to draw).
    bool documentArrived() const { return documentArrived_; }
    // "The <what> did not finish loading: nothing of it arrived for 60 seconds."
    QString expiredMessage(const QString& what) const;
    // The printed form of that failure: Error Domain=Timeout "<message>" URL=<address>.
    QString expiredDescription(const QString& what) const;
    // Follows the load: a start starts the deadline, an end ends it. False for the report of the
    // load the deadline stopped, which `expired` reported already.
    bool follow(const QWebEngineLoadingInfo& info);

signals:
    // The engine can tell of an earlier navigation's failure under the address of a load that has
    // just begun, and then nothing more of that load (the start page failing offline as a typed
    // address begins to load). After a failure the page is therefore looked at for a few seconds:
    // when a document of the load has come whole after all, this tells so.
    void arrivedAfterFailure();

private:
    class Arrivals;

    void look(bool deadlinePassed);
    void lookAfterFailure(int looksLeft);
    void lookedAt(const QVariant& state, bool deadlinePassed);
    QString picturesOf(const QVariantList& rects) const;

    QTimer* timer_;
    QTimer* lookTimer_;
    std::function<void()> expired_;
    QPointer<QWebEngineView> view_;
    Arrivals* arrivals_ = nullptr;
    QUrl url_;
    qint64 startedAt_ = 0;               // ms since the epoch
    std::optional<double> shownBefore_;  // the start of the document shown as the load began
    quint64 load_ = 0;                   // which load the answers of the page are for
    QString seen_;                       // what the page showed of the load when last looked at
    bool documentArrived_ = false;
    bool expiredLoad_ = false;
};

}  // namespace qv::webpanels
