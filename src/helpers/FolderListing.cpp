#include "helpers/FolderListing.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace qv::app {

namespace {

struct Entry {
    QString path;
    std::optional<QDateTime> date;
};

std::optional<QDateTime> dateOf(const QFileInfo& info, FileDateKind kind) {
    QDateTime d;
    switch (kind) {
        case FileDateKind::creationDate: d = info.birthTime(); break;
        case FileDateKind::contentModificationDate: d = info.lastModified(); break;
        case FileDateKind::contentAccessDate: d = info.lastRead(); break;
    }
    if (!d.isValid()) return std::nullopt;
    return d;
}

void listInto(const QString& folder, FileDateKind kind, bool skipHidden, std::vector<Entry>& out) {
    QDir dir(folder);
    if (!QFileInfo(folder).isDir() || !dir.isReadable())
        throw FolderListingError("The folder \"" + folder.toStdString() + "\" could not be listed.");
    QDir::Filters filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    if (!skipHidden) filters |= QDir::Hidden;
    for (const QFileInfo& info : dir.entryInfoList(filters, QDir::Name))
        out.push_back({info.absoluteFilePath(), dateOf(info, kind)});
}

}  // namespace

QStringList contentsOfDirectory(const QString& folder, const std::optional<QString>& alsoAt, FileDateKind sortedBy,
                                bool ascending, bool skipHidden) {
    std::vector<Entry> entries;
    listInto(folder, sortedBy, skipHidden, entries);
    if (alsoAt) listInto(*alsoAt, sortedBy, skipHidden, entries);

    // A strict weak ordering: dated entries by date, then every dateless entry, each group stable.
    std::stable_sort(entries.begin(), entries.end(), [ascending](const Entry& a, const Entry& b) {
        if (!a.date || !b.date) return a.date.has_value() && !b.date.has_value();
        return ascending ? *a.date < *b.date : *a.date > *b.date;
    });
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(entries.size()));
    for (auto& e : entries) paths << e.path;
    return paths;
}

}  // namespace qv::app
