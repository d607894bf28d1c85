#include "app/Settings.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

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

std::unique_ptr<QSettings> openUserSettings() {
    return std::make_unique<QSettings>(jsonSettingsFormat(), QSettings::UserScope,
                                       QCoreApplication::organizationName(), QCoreApplication::applicationName());
}

std::unique_ptr<QSettings> openSettingsFile(const QString& path) {
    return std::make_unique<QSettings>(path, jsonSettingsFormat());
}

}  // namespace qv::app
