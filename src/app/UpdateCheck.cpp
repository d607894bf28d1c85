#include "app/UpdateCheck.h"

#include <QNetworkReply>
#include <QRandomGenerator>
#include <QXmlStreamReader>

#include "app/Download.h"
#include "state/AppState.h"
#include "state/QtPrint.h"
#include "util/BuildInfo.h"

namespace qv::app {

namespace {

QUrl feedAddress(const char* path) {
    return QUrl(QString::fromUtf8(util::build::updateHost) + QString::fromUtf8(path) + "?" +
                QString::number(QRandomGenerator::global()->generate()));
}

QList<int> numericParts(const QString& version) {
    QList<int> parts;
    for (const QString& component : version.split('.')) {
        int digits = 0;
        while (digits < component.size() && component[digits].isDigit()) ++digits;
        parts.append(component.left(digits).toInt());
    }
    while (!parts.isEmpty() && parts.last() == 0) parts.removeLast();
    return parts;
}

}  // namespace

QUrl updateFeedUrl() {
    // Drawn once per process, one number per edition.
    static const QUrl wendle = feedAddress("/Wendle/mac/quorvaneupdate.xml");
    static const QUrl vemo = feedAddress("/QVVemo11/mac/quorvaneupdate.xml");
    return isWendleEdition() ? wendle : vemo;
}

void checkForUpdate() { checkForUpdate(updateFeedUrl()); }

void checkForUpdate(const QUrl& feed, std::function<void()> answered) {
    util::printLine(util::debugQuoted(feed.toString().toStdString()));
    QNetworkRequest request(feed);
    request.setTransferTimeout(30000);
    QNetworkReply* reply = networkAccessManager().get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, answered = std::move(answered)] {
        // The reply's status is not looked at: a body without the attributes changes nothing.
        std::optional<QByteArray> body;
        if (reply->error() == QNetworkReply::NoError || reply->bytesAvailable() > 0) body = reply->readAll();
        if (body && body->isEmpty()) body.reset();
        handleUpdateFeed(body);
        if (answered) answered();
        reply->deleteLater();
    });
}

void handleUpdateFeed(const std::optional<QByteArray>& body) {
    handleUpdateFeed(body, QString::fromUtf8(util::build::shortVersion));
}

void handleUpdateFeed(const std::optional<QByteArray>& body, const QString& installedVersion) {
    if (!body) return;
    QXmlStreamReader xml(*body);
    while (!xml.atEnd() && !xml.isStartElement()) xml.readNext();
    if (!xml.isStartElement() || xml.hasError()) return;
    const QXmlStreamAttributes attributes = xml.attributes();
    // The whole document must be well-formed, not just its first tag.
    while (!xml.atEnd()) xml.readNext();
    if (xml.hasError()) return;
    if (!attributes.hasAttribute("version") || !attributes.hasAttribute("downloadLocation")) return;
    const QString version = attributes.value("version").toString();
    const QString location = attributes.value("downloadLocation").toString();

    QStringList shown;
    for (const QXmlStreamAttribute& a : attributes)
        shown << QString::fromStdString(util::debugQuoted(a.qualifiedName().toString().toStdString()) + ": " +
                                        util::debugQuoted(a.value().toString().toStdString()));
    util::printLine("[" + shown.join(", ") + "]");

    if (isNewerVersion(installedVersion, version)) {
        updateAvailable = true;
        updateDownloadLocation = location;
    } else {
        updateAvailable = false;
    }
}

bool isNewerVersion(const QString& installed, const QString& offered) {
    const QList<int> a = numericParts(installed), b = numericParts(offered);
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        int x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y;
    }
    return false;
}

}  // namespace qv::app
