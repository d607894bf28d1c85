#include "app/Download.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUrl>

#include <memory>

#include "state/AppState.h"
#include "state/QtPrint.h"

namespace qv::app {

QNetworkAccessManager& networkAccessManager() {
    static QNetworkAccessManager* manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

QString installerFileName(const QString& address) {
    QString path = QUrl(address).path();
    const QString name = path.mid(path.lastIndexOf('/') + 1);
    if (name.isEmpty() || name == "." || name == "..") return {};
    return name;
}

void downloadFile(const QString& address, std::function<void(const QString& path)> completion,
                  std::function<void(const QString& reason)> failed) {
    auto fail = [failed](const QString& reason) {
        util::printLine("Download failed:", reason);
        if (failed) failed(reason);
    };
    const auto folders = folderLocations();
    const QString name = installerFileName(address);
    if (!folders) return fail(QStringLiteral("No save folder is chosen."));
    if (name.isEmpty()) return fail(QStringLiteral("The address names no file: ") + address);
    QDir().mkpath(folders->rootFolderURL);
    auto file = std::make_shared<QSaveFile>(folders->rootFolderURL + "/" + name);
    if (!file->open(QIODevice::WriteOnly)) return fail(file->errorString());

    QNetworkRequest request(QUrl(address + "?" + QString::number(QRandomGenerator::global()->generate())));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply* reply = networkAccessManager().get(request);
    auto writeFailed = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, file, writeFailed] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299) {
            *writeFailed = true;
            reply->readAll();
            return;
        }
        if (file->write(reply->readAll()) < 0) *writeFailed = true;
    });
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, file, writeFailed, fail, completion = std::move(completion)] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299 && !*writeFailed;
        if (ok) file->write(reply->readAll());
        if (!ok || !file->commit()) {
            // The previous file, if any, stays as it was.
            QString reason;
            if (reply->error() != QNetworkReply::NoError && reply->error() != QNetworkReply::ContentNotFoundError)
                reason = reply->errorString();
            else if (status < 200 || status > 299)
                reason = QStringLiteral("The server answered %1.").arg(status);
            else
                reason = file->errorString();
            file->cancelWriting();
            fail(reason);
            return;
        }
        if (completion) completion(file->fileName());
    });
}

}  // namespace qv::app
