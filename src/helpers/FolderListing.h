#pragma once
#include <QDir>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

namespace qv::app {

enum class FileDateKind { creationDate, contentModificationDate, contentAccessDate };

struct FolderListingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The entries of `folder` and, when given, of `alsoAt`, as absolute paths sorted by the chosen
// date (newest first unless `ascending`). Entries whose date cannot be known sort after the dated
// ones, in listing order. Hidden files are left out when `skipHidden`. Throws FolderListingError
// when a folder cannot be listed (then nothing of the first folder is returned either).
QStringList contentsOfDirectory(const QString& folder, const std::optional<QString>& alsoAt, FileDateKind sortedBy,
                                bool ascending, bool skipHidden = true);

}  // namespace qv::app
