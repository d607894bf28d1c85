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

void downloadFile(const QString& address, std::function<void(const QString& path)> completion) {
    const auto folders = folderLocations();
    const QString name = installerFileName(address);
    if (!folders || name.isEmpty()) {
        util::printLine("Download refused:", address);
        return;
    }
    QDir().mkpath(folders->rootFolderURL);
    auto file = std::make_shared<QSaveFile>(folders->rootFolderURL + "/" + name);
    if (!file->open(QIODevice::WriteOnly)) {
        util::printLine("Download failed:", file->errorString());
        return;
    }

    QNetworkRequest request(QUrl(address + "?" + QString::number(QRandomGenerator::global()->generate())));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply* reply = networkAccessManager().get(request);
    auto failed = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, file, failed] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299) {
            *failed = true;
            reply->readAll();
            return;
        }
        if (file->write(reply->readAll()) < 0) *failed = true;
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, file, failed, completion = std::move(completion)] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299 && !*failed;
        if (ok) file->write(reply->readAll());
        if (!ok || !file->commit()) {
            file->cancelWriting();
            return;  // the previous file, if any, stays as it was
        }
        if (completion) completion(file->fileName());
    });
}

}  // namespace qv::app
