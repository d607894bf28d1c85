#pragma once
// What earlier runs of the program left behind when they were killed: working files in
// "~library/" (copies on their way in, slides being made), LibreOffice's profile and PDF folders in
// the temporary folder (and a LibreOffice still working on them), and unfinished GIFs wherever the
// teacher had them written. What a running program (this one or another) uses stays.
#include <QString>
#include <QStringList>

namespace qv::library {

// Removes those leftovers, printing a line for each. Blocks for as long as that takes: call it off
// the main thread. Returns what was removed.
QStringList removeLeftoversOfEarlierRuns(const QString& libraryFolder, const QString& tempFolder,
                                         const QString& notesFolder);
// The same with the program's own temporary and notes folders.
QStringList removeLeftoversOfEarlierRuns(const QString& libraryFolder);

}  // namespace qv::library
