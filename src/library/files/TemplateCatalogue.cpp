#include "library/files/TemplateCatalogue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>

namespace qv::library {

std::optional<TemplateCatalogue> readTemplateCatalogue(const QString& templatesFolder, QString* error) {
    QFile file(QDir(templatesFolder).filePath(kTemplatesJson));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error) *error = parseError.errorString();
        return std::nullopt;
    }
    if (!doc.isObject()) {
        if (error) *error = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    TemplateCatalogue catalogue;
    catalogue.json = doc.object();
    catalogue.categoryList = {QStringLiteral("All"), QStringLiteral("Favorite")};
    for (const QJsonValue& c : catalogue.json.value(QStringLiteral("categories")).toArray())
        catalogue.categoryList << c.toString();
    catalogue.templates = catalogue.json.value(QStringLiteral("templates")).toArray();
    return catalogue;
}

QString templateKey(const QJsonValue& entry) { return entry.toObject().value(QStringLiteral("url")).toString(); }

FavoritesRead readFavorites(const QString& templatesFolder, QStringList* favorites, QString* error) {
    QFile file(QDir(templatesFolder).filePath(kFavoritesJson));
    if (!file.exists()) return FavoritesRead::missing;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return FavoritesRead::unreadable;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error) *error = parseError.errorString();
        return FavoritesRead::damaged;
    }
    if (!doc.isArray()) {
        if (error) *error = QStringLiteral("not a JSON array");
        return FavoritesRead::damaged;
    }
    favorites->clear();
    for (const QJsonValue& v : doc.array()) favorites->append(v.toString());
    return FavoritesRead::ok;
}

QString setAsideDamagedFavorites(const QString& templatesFolder) {
    const QString path = QDir(templatesFolder).filePath(kFavoritesJson);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = QStringLiteral("%1.unreadable-%2").arg(path, stamp);
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = QStringLiteral("%1.unreadable-%2-%3").arg(path, stamp).arg(n);
    return QDir().rename(path, aside) ? aside : QString();
}

QStringList favoritesToStore(const std::vector<std::pair<QString, bool>>& keysAndFlags, const QStringList& stored) {
    QStringList out;
    QSet<QString> loaded;
    for (const auto& [key, favorited] : keysAndFlags) {
        loaded.insert(key);
        if (favorited) out << key;
    }
    for (const QString& key : stored)
        if (!loaded.contains(key) && !out.contains(key)) out << key;
    return out;
}

bool writeFavorites(const QString& templatesFolder, const QStringList& favorites, QString* error) {
    QJsonArray array;
    for (const QString& f : favorites) array.append(f);
    QSaveFile file(QDir(templatesFolder).filePath(kFavoritesJson));
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(array).toJson(QJsonDocument::Compact));
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace qv::library
