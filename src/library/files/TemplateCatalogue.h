#pragma once
// The template catalogue "templates.json" and the user's favorites "favorites.json", both in the
// templates folder. Plain file work (Qt Core JSON), callable from any thread.
//
// Favorites are a compact JSON array of the catalogue's "url" strings: what is written is exactly
// what the reader compares with each entry's "url", also for a "url" with a folder part.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace qv::library {

inline const QString kTemplatesJson = QStringLiteral("templates.json");
inline const QString kFavoritesJson = QStringLiteral("favorites.json");

struct TemplateCatalogue {
    QJsonObject json;          // the whole parsed file
    QStringList categoryList;  // "All", "Favorite", then the file's own "categories" in order
    QJsonArray templates;      // the "templates" array (empty when missing)
};

// Reads "templates.json" of `templatesFolder`; none with `error` set when it cannot be read or is
// not a JSON object.
std::optional<TemplateCatalogue> readTemplateCatalogue(const QString& templatesFolder, QString* error);

// The entry's "url" string: its file relative to the templates folder and its favorites key.
QString templateKey(const QJsonValue& entry);

enum class FavoritesRead {
    missing,
    unreadable,  // could not be opened: it may well be sound, and is left as it is
    damaged,     // not JSON, or not an array of them
    ok,
};
// Reads "favorites.json": the strings of its top-level array. `favorites` changes only with ok.
FavoritesRead readFavorites(const QString& templatesFolder, QStringList* favorites, QString* error);

// Keeps a damaged "favorites.json" aside as "favorites.json.unreadable-<date>-<time>", as the
// settings are kept, so that writing the favorites afresh loses nothing. Returns the new path, or
// an empty text when it could not be moved (it must then not be written over).
QString setAsideDamagedFavorites(const QString& templatesFolder);

// What to store: the keys of the favorited templates, in catalogue order, followed by the stored
// keys that no loaded template has (a template left out of this load keeps its mark).
QStringList favoritesToStore(const std::vector<std::pair<QString, bool>>& keysAndFlags, const QStringList& stored);

// Writes the array compact, replacing the file as a whole; false with `error` on failure.
bool writeFavorites(const QString& templatesFolder, const QStringList& favorites, QString* error);

}  // namespace qv::library
