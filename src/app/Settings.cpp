#include "app/Settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "state/Failures.h"
#include "state/QtPrint.h"

namespace qv::app {

namespace {

// Binary values are kept as {"base64": "..."} so they read back as bytes, not as text.
constexpr const char* kBytesKey = "base64";

bool readJson(QIODevice& device, QSettings::SettingsMap& map) {
    const QByteArray data = device.readAll();
    if (data.trimmed().isEmpty()) return true;
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (!doc.isObject()) return false;
    const QJsonObject root = doc.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QJsonValue v = it.value();
        if (v.isObject() && v.toObject().size() == 1 && v.toObject().contains(kBytesKey))
            map.insert(it.key(), QByteArray::fromBase64(v.toObject().value(kBytesKey).toString().toLatin1()));
        else
            map.insert(it.key(), v.toVariant());
    }
    return true;
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map) {
    QJsonObject root;
    for (auto it = map.begin(); it != map.end(); ++it) {
        const QVariant& v = it.value();
        if (v.typeId() == QMetaType::QByteArray)
            root.insert(it.key(), QJsonObject{{kBytesKey, QString::fromLatin1(v.toByteArray().toBase64())}});
        else
            root.insert(it.key(), QJsonValue::fromVariant(v));
    }
    return device.write(QJsonDocument(root).toJson()) >= 0;
}

}  // namespace

QSettings::Format jsonSettingsFormat() {
    static const QSettings::Format format = QSettings::registerFormat("json", readJson, writeJson);
    return format;
}

QString setAsideUnreadableSettings(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return {};
    bool readable = false;
    if (info.isFile()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QSettings::SettingsMap map;
            readable = readJson(file, map);
        }
    }
    if (readable) return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = QStringLiteral("%1.unreadable-%2").arg(path, stamp);
    for (int n = 2; QFileInfo::exists(aside); ++n) aside = QStringLiteral("%1.unreadable-%2-%3").arg(path, stamp).arg(n);
    if (!QDir().rename(path, aside)) {
        app::reportFailure(QStringLiteral("The settings cannot be read and could not be moved aside:"), path,
                           QStringLiteral("the program starts without them and will not write over them"));
        return {};
    }
    app::reportFailure(QStringLiteral("The settings could not be read; they were kept as:"), aside,
                       QStringLiteral("the program starts with new settings"));
    return aside;
}

std::unique_ptr<QSettings> openUserSettings() {
    auto probe = std::make_unique<QSettings>(jsonSettingsFormat(), QSettings::UserScope,
                                             QCoreApplication::organizationName(), QCoreApplication::applicationName());
    // Checked before anything reads it.
    const QString path = probe->fileName();
    probe.reset();
    return openSettingsFile(path);
}

std::unique_ptr<QSettings> openSettingsFile(const QString& path) {
    setAsideUnreadableSettings(path);
    auto settings = std::make_unique<QSettings>(path, jsonSettingsFormat());
    if (QFileInfo::exists(path) && settings->status() != QSettings::NoError)
        return std::make_unique<QSettings>(QString(), jsonSettingsFormat());
    return settings;
}

bool syncSettings(QSettings& settings) {
    settings.sync();
    if (settings.status() == QSettings::NoError) return true;
    const QString what = QStringLiteral("Failed writing settings:");
    const QString why = settings.status() == QSettings::AccessError ? QStringLiteral("the file cannot be written")
                                                                     : QStringLiteral("the file is not in a readable form");
    // Every later write to the file fails the same way (a read-only folder fails at each launch
    // and each change): each failure is printed, the window says it once a run.
    util::printLine(what, settings.fileName(), why);
    static QSet<QString> told;
    if (!told.contains(settings.fileName())) {
        told.insert(settings.fileName());
        app::showFailure(what, settings.fileName(), why);
    }
    return false;
}

}  // namespace qv::app
