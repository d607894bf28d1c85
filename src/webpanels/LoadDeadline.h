#pragma once
// A deadline for each load of a page: the web engine has no time-out of its own for a request or
// a whole load, so a server that takes the connection and never answers keeps a page loading for
// ever. The owner feeds every loading report of its page to follow(); a load that has not ended
// when the deadline passes is the owner's to stop and report (`expired`), and the engine's own
// report of that stop is then left out. Main thread only.
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QTimer;
class QWebEngineLoadingInfo;

namespace qv::webpanels {

class LoadDeadline : public QObject {
    Q_OBJECT
public:
    // The time a load may take: the 60 seconds of the pages' requests.
    static constexpr int defaultMs = 60000;

    LoadDeadline(std::function<void()> expired, QObject* parent);

    void setInterval(int ms);
    int interval() const;
    // Starts the deadline for a load of `url` begun now (a load's start report does the same).
    void start(const QUrl& url);
    // The address of the load the deadline is for.
    QUrl url() const { return url_; }
    // "The <what> did not load within 60 seconds."
    QString expiredMessage(const QString& what) const;
    // The printed form of that failure: Error Domain=Timeout "<message>" URL=<address>.
    QString expiredDescription(const QString& what) const;
    // Follows the load: a start starts the deadline, an end ends it. False for the report of the
    // load the deadline stopped, which `expired` reported already.
    bool follow(const QWebEngineLoadingInfo& info);

private:
    QTimer* timer_;
    std::function<void()> expired_;
    QUrl url_;
    bool expiredLoad_ = false;
};

}  // namespace qv::webpanels
