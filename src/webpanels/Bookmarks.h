#pragma once
// Web bookmarks: the record, "bookmarks.json" in the bookmark folder (newest first), and the
// picture file of each bookmark beside it.
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace qv::webpanels {

struct Bookmark {
    QString id;         // a random UUID's text
    QString url;        // the page's address
    QString thumbnail;  // the picture's file name in the bookmark folder: id + ".png"
    QString name;       // the page's title, or the address's host
    QImage thumbnailImage;  // in memory only; null: the cell shows a placeholder

    Bookmark() = default;
    // "id", "url", "thumbnail" and "name" as strings; a missing or non-string member reads "".
    explicit Bookmark(const QJsonObject& json);
    QJsonObject toJson() const;

    // All five fields; two pictures are equal only when they are the same picture.
    bool operator==(const Bookmark& other) const;
};

// A new bookmark of `url` with a fresh id: `name` is the title when the page reported one (an
// empty title included), else the host of `url`, else empty.
Bookmark makeBookmark(const QString& url, const std::optional<QString>& title);

// The compact JSON array of the list, in its order, four string members per bookmark.
QByteArray bookmarksJson(const QList<Bookmark>& list);
// The bookmarks of a "bookmarks.json" text; a top-level value that is not an array gives none.
// Fails with the parser's message when the text is no JSON.
std::optional<QList<Bookmark>> parseBookmarks(const QByteArray& json, QString* error = nullptr);

// "<folder>/bookmarks.json".
QString bookmarksFilePath(const QString& folder);
// Where the picture `thumbnail` of a bookmark lies: inside `folder` (a subfolder included), never
// through a link out of it. None for a name that leads elsewhere ("../x", an absolute path, a
// link to another folder) or names the folder itself: such a picture is neither read nor deleted.
std::optional<QString> bookmarkPicturePath(const QString& folder, const QString& thumbnail);
// Writes the whole file or nothing (a temporary file renamed over the old one); the error text,
// empty on success.
QString writeWholeFile(const QString& path, const QByteArray& data);

}  // namespace qv::webpanels
