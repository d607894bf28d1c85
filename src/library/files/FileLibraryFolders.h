#pragma once
// Where the file library's files are: the library and template folders of the save folder in use
// (empty while none is known), and the URL of a library item for a path.
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include "state/AppState.h"

namespace qv::library {

inline QString libraryFolder() {
    const auto locations = app::folderLocations();
    return locations ? locations->libraryFolderURL : QString();
}
inline QString templatesFolder() {
    const auto locations = app::folderLocations();
    return locations ? locations->templatesFolderURL : QString();
}

// A file URL for a path; a folder's URL ends with "/" (the library item tells folders by it).
inline QUrl itemUrl(const QString& path) {
    QString p = path;
    if (QFileInfo(p).isDir() && !p.endsWith(QLatin1Char('/'))) p += QLatin1Char('/');
    return QUrl::fromLocalFile(p);
}

}  // namespace qv::library
