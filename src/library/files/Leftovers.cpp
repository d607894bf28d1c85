#include "library/files/Leftovers.h"

#include "library/WorkingFiles.h"
#include "library/files/ProcessGroups.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

QStringList removeLeftoversOfEarlierRuns(const QString& recordsFolder) {
    const QStringList removed =
        removeAbandonedWorkingEntries(recordsFolder.isEmpty() ? defaultRecordsFolder() : recordsFolder,
                                      // A LibreOffice of the killed run may still work there.
                                      [](const QString& folder) { stopProcessesWorkingIn(folder); });
    for (const QString& path : removed) util::printLine("Removed what an interrupted run left behind:", path);
    return removed;
}

}  // namespace qv::library
