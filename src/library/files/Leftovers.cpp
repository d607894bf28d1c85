#include "library/files/Leftovers.h"

#include <QDir>

#include "library/WorkingFiles.h"
#include "library/files/SlideConverter.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

QStringList removeLeftoversOfEarlierRuns(const QString& libraryFolder, const QString& tempFolder,
                                         const QString& notesFolder) {
    QStringList removed;
    if (!libraryFolder.isEmpty())
        for (const QString& name : removeAbandonedWorkingFiles(libraryFolder)) removed << QDir(libraryFolder).filePath(name);
    for (const QString& name : removeAbandonedOfficeFolders(tempFolder)) removed << QDir(tempFolder).filePath(name);
    removed << removeAbandonedNotedFiles(notesFolder);
    for (const QString& path : removed) util::printLine("Removed what an interrupted run left behind:", path);
    return removed;
}

QStringList removeLeftoversOfEarlierRuns(const QString& libraryFolder) {
    return removeLeftoversOfEarlierRuns(libraryFolder, QDir::tempPath(), defaultNotesFolder());
}

}  // namespace qv::library
