#pragma once
// What the program remembers of the save folder between launches: the folder's canonical
// absolute path, stored as bytes.
#include <QByteArray>
#include <QString>

#include <optional>

namespace qv::app {

struct ResolvedBookmark {
    QString path;        // the folder, canonical and absolute
    bool isStale = false;  // the stored path now leads elsewhere (a link was put in its place)
};

// Bookmark data for an existing folder, or nothing (with a description in `error`).
std::optional<QByteArray> bookmarkData(const QString& folder, QString* error = nullptr);

// The folder of stored bookmark data. Fails (nothing, with a description in `error`) when the
// data is damaged, or the folder is gone or cannot be both read and written.
std::optional<ResolvedBookmark> resolveBookmark(const QByteArray& data, QString* error = nullptr);

}  // namespace qv::app
