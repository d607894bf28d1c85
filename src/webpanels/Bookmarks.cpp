#include "webpanels/Bookmarks.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>

namespace qv::webpanels {

namespace {
QString stringMember(const QJsonObject& json, const char* key) {
    const QJsonValue value = json.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}
}  // namespace

Bookmark::Bookmark(const QJsonObject& json)
    : id(stringMember(json, "id")),
      url(stringMember(json, "url")),
      thumbnail(stringMember(json, "thumbnail")),
      name(stringMember(json, "name")) {}

QJsonObject Bookmark::toJson() const {
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("url"), url},
                       {QStringLiteral("thumbnail"), thumbnail},
                       {QStringLiteral("name"), name}};
}

bool Bookmark::operator==(const Bookmark& other) const {
    const bool samePicture = thumbnailImage.isNull() ? other.thumbnailImage.isNull()
                                                     : (!other.thumbnailImage.isNull() &&
                                                        thumbnailImage.cacheKey() == other.thumbnailImage.cacheKey());
    return id == other.id && url == other.url && thumbnail == other.thumbnail && name == other.name && samePicture;
}

Bookmark makeBookmark(const QString& url, const std::optional<QString>& title) {
    Bookmark b;
    b.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    b.url = url;
    if (title)
        b.name = *title;
    else
        b.name = QUrl(url, QUrl::StrictMode).host();  // an invalid address has no host: ""
    b.thumbnail = b.id + QStringLiteral(".png");
    return b;
}

QByteArray bookmarksJson(const QList<Bookmark>& list) {
    QJsonArray array;
    for (const Bookmark& b : list) array.append(b.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<Bookmark>> parseBookmarks(const QByteArray& json, QString* error) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error) *error = parseError.errorString();
        return std::nullopt;
    }
    QList<Bookmark> list;
    if (!document.isArray()) return list;
    for (const QJsonValue& value : document.array()) list.append(Bookmark(value.toObject()));
    return list;
}

QString bookmarksFilePath(const QString& folder) { return folder + QStringLiteral("/bookmarks.json"); }

std::optional<QString> bookmarkPicturePath(const QString& folder, const QString& thumbnail) {
    if (folder.isEmpty() || thumbnail.isEmpty() || QDir::isAbsolutePath(thumbnail)) return std::nullopt;
    const QString base = QDir::cleanPath(QDir(folder).absolutePath());
    const QString path = QDir::cleanPath(base + QLatin1Char('/') + thumbnail);
    if (!path.startsWith(base + QLatin1Char('/'))) return std::nullopt;
    // The folder that holds the picture must be the bookmark folder or one inside it once links
    // are resolved; the picture itself may be a link only into the folder.
    const QString realBase = QFileInfo(base).canonicalFilePath();
    const QString realParent = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    if (realBase.isEmpty() || realParent.isEmpty()) return std::nullopt;
    if (realParent != realBase && !realParent.startsWith(realBase + QLatin1Char('/'))) return std::nullopt;
    const QFileInfo picture(path);
    if (picture.isSymLink()) {
        const QString target = picture.canonicalFilePath();
        if (target.isEmpty() || !target.startsWith(realBase + QLatin1Char('/'))) return std::nullopt;
    }
    return path;
}

QString writeWholeFile(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    if (file.write(data) != data.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

}  // namespace qv::webpanels
