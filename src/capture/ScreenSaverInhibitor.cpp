#include "capture/ScreenSaverInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

namespace qv::capture {

namespace {

constexpr int callTimeoutMs = 1000;

QDBusMessage screenSaverCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                          QStringLiteral("/org/freedesktop/ScreenSaver"),
                                          QStringLiteral("org.freedesktop.ScreenSaver"), method);
}

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QString reason) : reason_(std::move(reason)) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() { end(); }

bool ScreenSaverInhibitor::begin() {
    end();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = screenSaverCall(QStringLiteral("Inhibit"));
    const QString application =
        QCoreApplication::applicationName().isEmpty() ? QStringLiteral("Quorvane") : QCoreApplication::applicationName();
    call << application << reason_;
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    cookie_ = reply.arguments().constFirst().toUInt();
    return true;
}

void ScreenSaverInhibitor::end() {
    if (!cookie_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = screenSaverCall(QStringLiteral("UnInhibit"));
        call << *cookie_;
        bus.call(call, QDBus::NoBlock);
    }
    cookie_.reset();
}

}  // namespace qv::capture
