#include "state/Failures.h"

#include <QCoreApplication>
#include <QStringList>

#include <utility>

#include "state/QtPrint.h"

namespace qv::app {

namespace {
std::function<void(const QString&)>& display() {
    static std::function<void(const QString&)> d;
    return d;
}
// Failures reported before the window could show them (unreadable settings at launch).
QStringList& waiting() {
    static QStringList w;
    return w;
}
QStringList itemsOf(const QString& what, const QString& where, const QString& why) {
    QStringList items;
    for (const QString& item : {what, where, why})
        if (!item.isEmpty()) items << item;
    return items;
}
}  // namespace

void reportFailure(const QString& what, const QString& where, const QString& why) {
    const QStringList items = itemsOf(what, where, why);
    if (!items.isEmpty()) util::printLine(items.join(QLatin1Char(' ')));
    showFailure(what, where, why);
}

void showFailure(const QString& what, const QString& where, const QString& why) {
    const QStringList items = itemsOf(what, where, why);
    if (items.isEmpty()) return;
    if (display())
        display()(items.join(QLatin1Char('\n')));
    else
        waiting() << items.join(QLatin1Char('\n'));
}

void reportFailureLater(const QString& what, const QString& where, const QString& why) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [what, where, why] { reportFailure(what, where, why); }, Qt::QueuedConnection);
}

void setFailureDisplay(std::function<void(const QString& text)> d) {
    display() = std::move(d);
    if (!display()) return;
    const QStringList shown = std::exchange(waiting(), {});
    for (const QString& text : shown) display()(text);
}

}  // namespace qv::app
